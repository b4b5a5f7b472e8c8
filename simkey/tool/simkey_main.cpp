// simkey.exe: the control program of the simulated key. Creates keys, plugs
// them in and pulls them out, scripts the PIN pad and shows the state.
#include "simkey/control_client.h"
#include "text/command_line.h"
#include "win/system_module.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

const char kUsage[] =
    "simkey: control program of the simulated UKey\n"
    "\n"
    "  simkey create SERIAL [options] [--plug]   make a key (unplugged unless --plug)\n"
    "  simkey set SERIAL options                 change a key\n"
    "  simkey plug SERIAL | unplug SERIAL        insert or pull out a key\n"
    "  simkey remove SERIAL                      forget a key\n"
    "  simkey container add SERIAL [container options]  add a key pair (and certificate) to a key\n"
    "  simkey containers SERIAL                  the key's containers and pairs\n"
    "  simkey pinpad ANSWER...                   queue PIN-pad answers, played one per dialog:\n"
    "        pin PIN | change OLD NEW | cancel | timeout | debugger | clear\n"
    "  simkey show [--json]                      keys, slots, PIN state and the PIN-pad script\n"
    "  simkey calls [--clear]                    calls the PIN-pad library recorded\n"
    "  simkey reset                              remove every key and script\n"
    "\n"
    "options:\n"
    "  --model CODE          4-character model code (6155; 6120, 6156 behave differently)\n"
    "  --csp NAME            CSP device name, up to 16 characters (default: the serial)\n"
    "  --pin PIN             user PIN, 6 to 20 characters (default 123456)\n"
    "  --tries N             PIN retry limit, 1 to 15 (default 10); --tries-left N\n"
    "  --flags X             device flags word; --must-change-pin / --no-must-change-pin\n"
    "  --attribute X         device attribute word handed to the PIN pad\n"
    "  --label TEXT          label (UTF-8, up to 32 bytes); --label-hex HEX for raw bytes\n"
    "  --data-code CODE      the 8 data-code characters\n"
    "  --language-mask X     languages the key's display can show\n"
    "\n"
    "container options:\n"
    "  --alg rsa1024|rsa2048|sm2   key pair algorithm (default rsa2048)\n"
    "  --kind N              1 transaction-signing (default), 2 general-signing, 3 encryption\n"
    "  --key-spec N          1 exchange, 2 signature (default: 1 for kind 3, else 2)\n"
    "  --no-cert             a pair without certificate (as after a certificate request)\n"
    "  --cn/--o/--ou TEXT    the certificate's subject (issued by the simulated key's test CA)\n"
    "  --container NAME      add to this container (default: a new one)\n"
    "  --start-days N, --end-days N   validity relative to today (default -1, 730)\n";

using Engine = simkey::ControlClient;

// Numbers go to the engine as text (it reads decimal and 0x..), except the
// day offsets, which may be negative.
struct Option {
    const char* flag;
    const char* field;
    bool takesValue;
    bool signedNumber;
};

constexpr Option kOptions[] = {
    {"--model", "model", true, false},
    {"--csp", "cspName", true, false},
    {"--pin", "pin", true, false},
    {"--tries", "retryLimit", true, false},
    {"--tries-left", "triesLeft", true, false},
    {"--flags", "flags", true, false},
    {"--attribute", "attribute", true, false},
    {"--label", "label", true, false},
    {"--label-hex", "labelHex", true, false},
    {"--data-code", "dataCode", true, false},
    {"--language-mask", "languageMask", true, false},
    {"--must-change-pin", "mustChangePin", false, false},
    {"--no-must-change-pin", "mustChangePin", false, false},
    {"--plug", "plug", false, false},
};

constexpr Option kContainerOptions[] = {
    {"--alg", "algorithm", true, false},
    {"--kind", "kind", true, false},
    {"--key-spec", "keySpec", true, false},
    {"--no-cert", "cert", false, false},
    {"--cn", "cn", true, false},
    {"--o", "o", true, false},
    {"--ou", "ou", true, false},
    {"--container", "container", true, false},
    {"--start-days", "startDays", true, true},
    {"--end-days", "endDays", true, true},
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "simkey: %s\n", message.c_str());
    return 1;
}

template <size_t N>
bool ParseOptions(const Option (&table)[N], const std::vector<std::string>& args, size_t from, json& req,
                  std::string& error) {
    for (size_t i = from; i < args.size(); ++i) {
        const Option* opt = nullptr;
        for (const Option& o : table)
            if (args[i] == o.flag) opt = &o;
        if (!opt) {
            error = "unknown option " + args[i];
            return false;
        }
        if (!opt->takesValue) {
            req[opt->field] = std::strncmp(opt->flag, "--no-", 5) != 0;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = std::string(opt->flag) + " needs a value";
            return false;
        }
        ++i;
        if (opt->signedNumber) req[opt->field] = std::strtol(args[i].c_str(), nullptr, 10);
        else req[opt->field] = args[i];
    }
    return true;
}

void PrintKey(const json& k) {
    std::string slot = k["slot"].get<uint32_t>() ? std::to_string(k["slot"].get<uint32_t>()) : "-";
    std::string tries = std::to_string(k["triesLeft"].get<int>()) + "/" + std::to_string(k["retryLimit"].get<int>());
    std::string label = k["label"].is_string() ? k["label"].get<std::string>() : "(hex " + k["labelHex"].get<std::string>() + ")";
    const char* charset = k["charset"].get<uint32_t>() == 1 ? "UTF-8" : "GBK";
    std::printf("  %-5s %-17s %-6s %-17s %-6s 0x%08x  %-5s %-7s %-4u %s\n", slot.c_str(),
                k["serial"].get<std::string>().c_str(), k["model"].get<std::string>().c_str(),
                k["cspName"].get<std::string>().c_str(), tries.c_str(), k["flags"].get<uint32_t>(),
                k["loggedIn"].get<bool>() ? "yes" : "no", charset, k["language"].get<uint32_t>(), label.c_str());
}

int Show(Engine& e, bool asJson) {
    json st = e.Call({{"op", "state"}});
    if (!st.value("ok", false)) return Fail(st.value("error", "failed"));
    if (asJson) {
        std::printf("%s\n", st.dump(2).c_str());
        return 0;
    }
    if (st["keys"].empty()) std::printf("No simulated keys. Make one with: simkey create SERIAL --plug\n");
    else std::printf("  %-5s %-17s %-6s %-17s %-6s %-10s  %-5s %-7s %-4s %s\n", "SLOT", "SERIAL", "MODEL", "CSP NAME",
                     "TRIES", "FLAGS", "LOGIN", "CHARSET", "LANG", "LABEL");
    for (const json& k : st["keys"]) PrintKey(k);
    std::string script;
    for (const json& a : st["padScript"]) script += (script.empty() ? "" : ", ") + a.get<std::string>();
    std::printf("PIN pad: %s\n", script.empty() ? "no answer queued (a dialog times out)" : ("next answers: " + script).c_str());
    return 0;
}

}  // namespace

int main() {
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args = text::Utf8Arguments();
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    Engine e;
    if (!e.loaded()) return Fail("simkey_engine.dll not found in the system directory (install the simulated key first)");

    const std::string& cmd = args[0];
    json req;
    if (cmd == "show") return Show(e, args.size() > 1 && args[1] == "--json");
    if (cmd == "reset") {
        req = {{"op", "reset"}};
    } else if (cmd == "create" || cmd == "set" || cmd == "plug" || cmd == "unplug" || cmd == "remove") {
        if (args.size() < 2 || args[1].rfind("--", 0) == 0) return Fail(cmd + " needs a serial number");
        req = {{"op", cmd}, {"serial", args[1]}};
        std::string error;
        if ((cmd == "create" || cmd == "set") && !ParseOptions(kOptions, args, 2, req, error)) return Fail(error);
        if (cmd != "create" && cmd != "set" && args.size() > 2) return Fail("unexpected " + args[2]);
    } else if (cmd == "container" && args.size() >= 3 && args[1] == "add") {
        req = {{"op", "add_container"}, {"serial", args[2]}};
        std::string error;
        if (!ParseOptions(kContainerOptions, args, 3, req, error)) return Fail(error);
        json r = e.Call(req);
        if (!r.value("ok", false)) return Fail(r.value("error", "failed"));
        std::printf("%s\n", r["container"].get<std::string>().c_str());
        return 0;
    } else if (cmd == "containers" && args.size() >= 2) {
        json st = e.Call({{"op", "state"}});
        if (!st.value("ok", false)) return Fail(st.value("error", "failed"));
        for (const json& k : st["keys"]) {
            if (k["serial"] != args[1]) continue;
            static const char* kAlgorithms[] = {"?", "RSA", "SM2"};
            for (const json& c : k["containers"])
                for (const json& p : c["pairs"])
                    std::printf("%s  spec %u  kind %u  %s-%u  index %u  %s%s\n", c["name"].get<std::string>().c_str(),
                                p["keySpec"].get<unsigned>(), p["kind"].get<unsigned>(),
                                kAlgorithms[p["algorithm"].get<unsigned>() % 3], p["bits"].get<unsigned>(),
                                p["keyIndex"].get<unsigned>(),
                                p["certHex"].get<std::string>().empty() ? "no certificate" : "certificate",
                                p["marked"].get<bool>() ? ", marked" : "");
            return 0;
        }
        return Fail("no key with serial " + args[1]);
    } else if (cmd == "pinpad") {
        json answers = json::array();
        for (size_t i = 1; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a == "clear") {
                json r = e.Call({{"op", "pinpad_clear"}});
                if (!r.value("ok", false)) return Fail(r.value("error", "failed"));
            } else if (a == "pin" && i + 1 < args.size()) {
                answers.push_back({{"kind", "pin"}, {"pin", args[++i]}});
            } else if (a == "change" && i + 2 < args.size()) {
                answers.push_back({{"kind", "pin"}, {"pin", args[i + 1]}, {"newPin", args[i + 2]}});
                i += 2;
            } else if (a == "cancel" || a == "timeout" || a == "debugger") {
                answers.push_back({{"kind", a}});
            } else {
                return Fail("pinpad: expected pin PIN, change OLD NEW, cancel, timeout, debugger or clear at '" + a + "'");
            }
        }
        if (answers.empty()) return Show(e, false);
        req = {{"op", "pinpad"}, {"answers", answers}};
    } else if (cmd == "calls") {
        if (args.size() > 1 && args[1] == "--clear") req = {{"op", "pad_calls_clear"}};
        else {
            json r = e.Call({{"op", "pad_calls"}});
            if (!r.value("ok", false)) return Fail(r.value("error", "failed"));
            for (const json& c : r["calls"]) std::printf("%s\n", c.dump().c_str());
            return 0;
        }
    } else {
        return Fail("unknown command '" + cmd + "' (simkey help lists them)");
    }

    json r = e.Call(req);
    if (!r.value("ok", false)) return Fail(r.value("error", "failed"));
    if (r.contains("key")) PrintKey(r["key"]);
    else std::printf("ok\n");
    return 0;
}
