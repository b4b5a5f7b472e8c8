// SimKey_Control: the control interface of the simulated key, used by
// simkey.exe and the tests. Requests and answers are JSON.
#include "crypto.h"
#include "device_notify.h"
#include "state.h"

#include "simkey/engine_api.h"
#include "token/token_api.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

using namespace simkey;
using nlohmann::json;

namespace {

struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

uint32_t Number(const json& v, const char* name) {
    if (v.is_number_unsigned() || v.is_number_integer()) {
        long long n = v.get<long long>();
        if (n < 0 || n > 0xFFFFFFFFLL) throw Refusal(std::string(name) + " out of range");
        return static_cast<uint32_t>(n);
    }
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        char* end = nullptr;
        unsigned long long n = std::strtoull(s.c_str(), &end, 0);
        if (s.empty() || *end || n > 0xFFFFFFFFULL) throw Refusal(std::string(name) + ": not a number: " + s);
        return static_cast<uint32_t>(n);
    }
    throw Refusal(std::string(name) + " must be a number");
}

std::string Text(const json& v, const char* name, size_t maxLength, bool printable = true) {
    if (!v.is_string()) throw Refusal(std::string(name) + " must be a text");
    std::string s = v.get<std::string>();
    if (s.size() > maxLength)
        throw Refusal(std::string(name) + " longer than " + std::to_string(maxLength) + " bytes");
    if (printable)
        for (unsigned char c : s)
            if (c < 0x20 || c > 0x7E) throw Refusal(std::string(name) + " must be printable ASCII");
    return s;
}

void SetPin(Key& k, const std::string& pin) {
    if (pin.size() < static_cast<size_t>(kPinMin) || pin.size() > static_cast<size_t>(kPinMax))
        throw Refusal("PIN must have 6 to 20 characters");
    PinRecord r = HashNewPin(pin);
    if (r.hashHex.empty()) throw Refusal("PIN could not be hashed");
    k.pinSalt = r.saltHex;
    k.pinHash = r.hashHex;
}

// Fields that create and set share.
void ApplyFields(Key& k, const json& req) {
    if (req.contains("model")) {
        k.model = Text(req["model"], "model", token::devinfo::kModelLen);
        if (k.model.empty()) throw Refusal("model must not be empty");
    }
    if (req.contains("cspName")) {
        // The record pads it with blanks; readers name it without them.
        k.cspName = Text(req["cspName"], "cspName", token::devinfo::kCspNameLen);
        while (!k.cspName.empty() && k.cspName.back() == ' ') k.cspName.pop_back();
        if (k.cspName.empty() || k.cspName.find('\\') != std::string::npos)
            throw Refusal("cspName must be 1 to 16 characters without a backslash");
    }
    if (req.contains("dataCode")) k.dataCode = Text(req["dataCode"], "dataCode", token::devinfo::kDataCodeLen);
    if (req.contains("pin")) SetPin(k, Text(req["pin"], "pin", kPinMax));
    if (req.contains("retryLimit")) {
        uint32_t n = Number(req["retryLimit"], "retryLimit");
        if (n < 1 || n > 15) throw Refusal("retryLimit must be 1 to 15");
        k.retryLimit = static_cast<int>(n);
        if (!req.contains("triesLeft")) k.triesLeft = k.retryLimit;
    }
    if (req.contains("triesLeft")) {
        uint32_t n = Number(req["triesLeft"], "triesLeft");
        if (n > static_cast<uint32_t>(k.retryLimit)) throw Refusal("triesLeft above retryLimit");
        k.triesLeft = static_cast<int>(n);
    }
    if (req.contains("flags")) k.flags = Number(req["flags"], "flags");
    if (req.contains("mustChangePin")) {
        if (req["mustChangePin"].get<bool>()) k.flags |= token::devinfo::kFlagMustChangePin;
        else k.flags &= ~token::devinfo::kFlagMustChangePin;
    }
    if (req.contains("attribute")) k.attribute = Number(req["attribute"], "attribute");
    if (req.contains("languageMask")) k.languageMask = Number(req["languageMask"], "languageMask");
    // A label as UTF-8 text, or as the key's raw bytes in hex (a GBK label).
    if (req.contains("label")) k.labelHex = ToHex(Text(req["label"], "label", 32, false));
    if (req.contains("labelHex")) {
        std::string bytes;
        if (!FromHex(Text(req["labelHex"], "labelHex", 64), bytes)) throw Refusal("labelHex is not hex");
        k.labelHex = ToHex(bytes);
    }
}

Key& Named(State& s, const json& req) {
    if (!req.contains("serial")) throw Refusal("serial missing");
    std::string serial = Text(req["serial"], "serial", token::devinfo::kSerialLen);
    Key* k = FindBySerial(s, serial);
    if (!k) throw Refusal("no key with serial " + serial);
    return *k;
}

// Slot ids are 1..255: some provider records carry the slot in one byte. A
// new insertion takes the next id after the last one handed out that no
// plugged key holds, so an id comes back only after 254 others.
uint32_t NextSlot(State& s) {
    for (int tries = 0; tries < 255; ++tries) {
        uint32_t id = s.nextSlot;
        s.nextSlot = id >= 255 ? 1 : id + 1;
        if (id >= 1 && id <= 255 && !FindBySlot(s, id)) return id;
    }
    throw Refusal("no free slot id");
}

size_t Plugged(const State& s) {
    size_t n = 0;
    for (const Key& k : s.keys) n += k.slot != 0;
    return n;
}

json Describe(const Key& k) {
    std::string label;
    FromHex(k.labelHex, label);
    json j = {{"serial", k.serial},         {"model", k.model},
              {"cspName", k.cspName},       {"dataCode", k.dataCode},
              {"retryLimit", k.retryLimit}, {"triesLeft", k.triesLeft},
              {"flags", k.flags},           {"attribute", k.attribute},
              {"labelHex", k.labelHex},     {"language", k.language},
              {"charset", k.charset},       {"languageMask", k.languageMask},
              {"slot", k.slot},             {"loggedIn", k.loggedIn}};
    json containers = json::array();
    for (const Container& c : k.containers) {
        json pairs = json::array();
        for (const Pair& p : c.pairs)
            pairs.push_back({{"keySpec", p.keySpec}, {"kind", p.kind}, {"algorithm", p.algorithm}, {"bits", p.bits},
                             {"keyIndex", p.keyIndex}, {"marked", p.marked}, {"publicKeyHex", p.publicKeyHex},
                             {"certHex", p.certHex}});
        containers.push_back({{"name", c.name}, {"pairs", pairs}});
    }
    j["containers"] = containers;
    j["dataFlags"] = k.dataFlags;
    j["dataValue"] = k.dataValue;
    j["pinTimeout"] = k.pinTimeout;
    j["signWayCalls"] = k.signWayCalls;
    j["initCount"] = k.initCount;
    j["initVariant"] = k.initVariant;
    // The label as text when it is UTF-8 (the JSON writer refuses other
    // bytes); a GBK label shows in labelHex only.
    bool utf8 = label.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, label.data(),
                                                       static_cast<int>(label.size()), nullptr, 0) > 0;
    j["label"] = utf8 ? json(label) : json(nullptr);
    return j;
}

// "{%08X-%04X-%04x}" from random bits, as the key names its containers.
std::string NewContainerName() {
    uint8_t r[8];
    if (!RandomBytes(r, sizeof r)) throw Refusal("no random bytes");
    char name[40];
    std::snprintf(name, sizeof name, "{%08X-%04X-%04x}", static_cast<unsigned>(r[0] << 24 | r[1] << 16 | r[2] << 8 | r[3]),
                  static_cast<unsigned>(r[4] << 8 | r[5]), static_cast<unsigned>(r[6] << 8 | r[7]));
    return name;
}

json Handle(const json& req) {
    const std::string op = req.value("op", "");
    json answer = {{"ok", true}};
    auto change = [&](const std::function<void(State&)>& work) {
        std::string error;
        ULONG st = WithState(Access::kWrite, [&](State& s) -> ULONG {
            State before = s;
            try {
                work(s);
            } catch (const std::exception& e) {
                s = before;  // a refused request changes nothing
                error = e.what();
            }
            return token::kOk;
        });
        if (st != token::kOk) throw Refusal("simulated key state unavailable");
        if (!error.empty()) throw Refusal(error);
    };

    if (op == "reset") {
        change([](State& s) { s = State{}; });
    } else if (op == "create") {
        change([&](State& s) {
            Key k;
            if (!req.contains("serial")) throw Refusal("serial missing");
            k.serial = Text(req["serial"], "serial", token::devinfo::kSerialLen);
            while (!k.serial.empty() && k.serial.back() == ' ') k.serial.pop_back();
            if (k.serial.empty()) throw Refusal("serial must not be empty");
            if (k.serial.find('|') != std::string::npos) throw Refusal("serial must not contain |");
            if (FindBySerial(s, k.serial)) throw Refusal("a key with serial " + k.serial + " exists");
            k.cspName = k.serial;
            SetPin(k, "123456");
            ApplyFields(k, req);
            s.keys.push_back(k);
            if (req.value("plug", false)) {
                if (Plugged(s) >= kMaxPluggedKeys) throw Refusal("10 keys are plugged in already");
                s.keys.back().slot = NextSlot(s);
            }
            answer["key"] = Describe(s.keys.back());
        });
        if (req.value("plug", false) && req.value("notify", true))
            answer["notified"] = BroadcastDeviceChange(true, answer["key"]["serial"].get<std::string>());
    } else if (op == "remove") {
        change([&](State& s) {
            Key& k = Named(s, req);
            s.keys.erase(s.keys.begin() + (&k - s.keys.data()));
        });
    } else if (op == "plug" || op == "unplug") {
        // The state changes first; the notification goes out after the lock
        // is released, since the windows that receive it read the state.
        std::string serial;
        change([&](State& s) {
            Key& k = Named(s, req);
            serial = k.serial;
            if (op == "unplug") {
                if (!k.slot) throw Refusal(k.serial + " is not plugged in");
                k.slot = 0;
                k.loggedIn = false;
            } else {
                if (k.slot) throw Refusal(k.serial + " is plugged in already");
                if (Plugged(s) >= kMaxPluggedKeys) throw Refusal("10 keys are plugged in already");
                // A new slot id for every insertion: an id stays the key's
                // while it is plugged in.
                k.slot = NextSlot(s);
            }
            answer["key"] = Describe(k);
        });
        if (req.value("notify", true)) answer["notified"] = BroadcastDeviceChange(op == "plug", serial);
    } else if (op == "set") {
        change([&](State& s) {
            Key& k = Named(s, req);
            ApplyFields(k, req);
            answer["key"] = Describe(k);
        });
    } else if (op == "add_container") {
        change([&](State& s) {
            Key& k = Named(s, req);
            Pair p;
            const std::string alg = req.value("algorithm", "rsa2048");
            if (alg == "rsa1024") p.algorithm = 1, p.bits = 1024;
            else if (alg == "rsa2048") p.algorithm = 1, p.bits = 2048;
            else if (alg == "sm2") p.algorithm = 2, p.bits = 256;
            else throw Refusal("algorithm must be rsa1024, rsa2048 or sm2");
            p.kind = req.contains("kind") ? Number(req["kind"], "kind") : 1;
            if (p.kind < 1 || p.kind > 4) throw Refusal("kind must be 1 to 4");
            p.keySpec = req.contains("keySpec") ? Number(req["keySpec"], "keySpec") : (p.kind == 3 ? 1 : 2);
            if (p.keySpec != 1 && p.keySpec != 2) throw Refusal("keySpec must be 1 or 2");
            p.keyIndex = req.contains("keyIndex") ? Number(req["keyIndex"], "keyIndex") : k.nextKeyIndex;
            if (p.keyIndex > 255) throw Refusal("keyIndex must be 0 to 255");
            k.nextKeyIndex = std::max(k.nextKeyIndex, p.keyIndex + 1);

            std::string name = req.contains("container") ? Text(req["container"], "container", 200) : NewContainerName();
            Container* c = FindContainer(k, name);
            if (c && FindPair(*c, p.keySpec)) throw Refusal("container " + name + " holds that key spec already");

            GeneratedPair g;
            if (!GeneratePair(p.algorithm, p.bits, g)) throw Refusal("key pair generation failed");
            p.privateKeyPem = g.privateKeyPem;
            p.publicKeyHex = ToHex(g.publicKey);
            if (req.value("cert", true)) {
                static const char* kKindNames[] = {"", "transaction signing", "general signing", "encryption", "signing"};
                Subject subject{req.value("cn", k.serial + " " + kKindNames[p.kind]), req.value("o", "VELTA Test Bank"),
                                req.value("ou", "UKey")};
                Validity v{req.value("startDays", -1L), req.value("endDays", 730L)};
                std::string& caKey = p.algorithm == 2 ? s.ca.sm2KeyPem : s.ca.rsaKeyPem;
                std::string caDer;
                FromHex(p.algorithm == 2 ? s.ca.sm2CertHex : s.ca.rsaCertHex, caDer);
                std::string der;
                if (!IssueCertificate(p.algorithm, p.privateKeyPem, subject, v, p.keySpec, caKey, caDer, der))
                    throw Refusal("certificate could not be issued");
                (p.algorithm == 2 ? s.ca.sm2CertHex : s.ca.rsaCertHex) = ToHex(caDer);
                p.certHex = ToHex(der);
            }
            if (!c) {
                k.containers.push_back({name, {}});
                c = &k.containers.back();
            }
            c->pairs.push_back(p);
            answer["container"] = name;
            answer["key"] = Describe(k);
        });
    } else if (op == "pinpad") {
        change([&](State& s) {
            if (!req.contains("answers") || !req["answers"].is_array()) throw Refusal("answers missing");
            for (const json& a : req["answers"]) {
                PadAnswer p;
                p.kind = a.value("kind", "");
                if (p.kind != "pin" && p.kind != "cancel" && p.kind != "timeout" && p.kind != "debugger")
                    throw Refusal("answer kind must be pin, cancel, timeout or debugger");
                if (p.kind == "pin") {
                    p.pin = Text(a.value("pin", json("")), "pin", 64);
                    if (a.contains("newPin")) p.newPin = Text(a["newPin"], "newPin", 64);
                }
                s.padScript.push_back(p);
            }
        });
    } else if (op == "pinpad_clear") {
        change([](State& s) { s.padScript.clear(); });
    } else if (op == "pad_calls_clear") {
        change([](State& s) { s.padCalls.clear(); });
    } else if (op == "state" || op == "pad_calls") {
        ULONG st = WithState(Access::kRead, [&](State& s) -> ULONG {
            if (op == "pad_calls") {
                answer["calls"] = s.padCalls;
                return token::kOk;
            }
            json keys = json::array();
            for (const Key& k : s.keys) keys.push_back(Describe(k));
            json script = json::array();
            for (const PadAnswer& p : s.padScript) script.push_back(p.kind);
            answer["keys"] = keys;
            answer["padScript"] = script;
            answer["nextSlot"] = s.nextSlot;
            answer["caRsaCertHex"] = s.ca.rsaCertHex;
            answer["caSm2CertHex"] = s.ca.sm2CertHex;
            return token::kOk;
        });
        if (st != token::kOk) throw Refusal("simulated key state unavailable");
    } else {
        throw Refusal("unknown op '" + op + "'");
    }
    return answer;
}

char* Copy(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

}  // namespace

extern "C" char* WINAPI SimKey_Control(const char* request) {
    json answer;
    try {
        json req = json::parse(request ? request : "", nullptr, false);
        if (req.is_discarded() || !req.is_object()) throw Refusal("request is not a JSON object");
        answer = Handle(req);
    } catch (const std::exception& e) {
        answer = {{"ok", false}, {"error", e.what()}};
    }
    try {
        return Copy(answer.dump());
    } catch (...) {
        return Copy("{\"ok\":false,\"error\":\"answer could not be written\"}");
    }
}

extern "C" void WINAPI SimKey_Free(char* answer) { std::free(answer); }
