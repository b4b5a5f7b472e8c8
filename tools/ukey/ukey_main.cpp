// ukey.exe: the command-line client of the key API library, for integrators
// and support staff. Every command calls one export and prints its answer;
// a failure prints the result code and its text and exits non-zero.
#include "api/velta_ukey.h"
#include "store_listing.h"
#include "events/key_event_signal.h"
#include "events/shared_block.h"
#include "text/command_line.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "ukey: command-line client of the UKey API library\n"
    "\n"
    "  ukey list                          serial numbers of the keys present\n"
    "  ukey vendor [TYPE]                 maker's name (TYPE 0 or 1 Chinese, 2 English)\n"
    "  ukey vidpid                        USB vendor and product id\n"
    "  ukey label get [--serial S]        the key's label\n"
    "  ukey label set TEXT [--serial S]   write the key's label (1 to 32 bytes)\n"
    "  ukey charset GBK|UTF-8 [--serial S]  the character set the key keeps its texts in\n"
    "  ukey language NAME [--serial S]    the key display's language (zh_CN, en_US, zh_TW, ...)\n"
    "  ukey error CODE                    the text of a result code\n"
    "  ukey wait [--count N]              print key events as they arrive (Ctrl+C ends)\n"
    "  ukey event arrival|removal SERIAL [--seq N]\n"
    "                                     report a key event as the tray agent does\n"
    "                                     (default sequence number: the block's plus 1)\n"
    "  ukey stores                        the key provider's certificates in the user's stores\n"
    "  ukey pin verify|change [--serial S]  check or change the PIN (on the key or its PIN pad)\n"
    "  ukey pin info [--serial S]         retry limit, tries left, must change, locked\n"
    "  ukey pin logout-all                end the login of every key\n"
    "  ukey init [--serial S]             initialise the key: its pairs and certificates go,\n"
    "                                     the key's dialog asks for the new PIN\n"
    "  ukey data get 1|2 [--serial S]     the data word: 1 value, 2 the set flags\n"
    "  ukey data set 0xHEX [--serial S]   write the value word (and add it to the flags)\n"
    "\n"
    "Without --serial a command works on the only key present.\n";

struct Library {
    HMODULE module = nullptr;
    decltype(&::GetErrorMsg) getErrorMsg = nullptr;
    decltype(&::GetPrintNumber) getPrintNumber = nullptr;
    decltype(&::GetVidAndPid) getVidAndPid = nullptr;
    decltype(&::GetVendorInfo) getVendorInfo = nullptr;
    decltype(&::SetLabel) setLabel = nullptr;
    decltype(&::GetLabel) getLabel = nullptr;
    decltype(&::SetCharset) setCharset = nullptr;
    decltype(&::SetLanguage) setLanguage = nullptr;
    decltype(&::WaitForKeyEvent) waitForKeyEvent = nullptr;
    decltype(&::StopDetectUKey) stopDetectUKey = nullptr;
    decltype(&::VerifyPIN) verifyPin = nullptr;
    decltype(&::ChangePin) changePin = nullptr;
    decltype(&::GetPinInfo) getPinInfo = nullptr;
    decltype(&::RemovePinCache) removePinCache = nullptr;
    decltype(&::InitUKey) initUKey = nullptr;
    decltype(&::SetData) setData = nullptr;
    decltype(&::GetData) getData = nullptr;

    template <typename Fn>
    bool Bind(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(::GetProcAddress(module, name));
        return fn != nullptr;
    }

    // The library beside this program.
    bool Load() {
        wchar_t path[MAX_PATH];
        DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return false;
        std::wstring dir(path, n);
        dir.resize(dir.find_last_of(L'\\') + 1);
        module = ::LoadLibraryW((dir + L"velta_unified_qvlukey_64.dll").c_str());
        return module && Bind(getErrorMsg, "GetErrorMsg") && Bind(getPrintNumber, "GetPrintNumber") &&
               Bind(getVidAndPid, "GetVidAndPid") && Bind(getVendorInfo, "GetVendorInfo") &&
               Bind(setLabel, "SetLabel") && Bind(getLabel, "GetLabel") && Bind(setCharset, "SetCharset") &&
               Bind(setLanguage, "SetLanguage") && Bind(waitForKeyEvent, "WaitForKeyEvent") &&
               Bind(stopDetectUKey, "StopDetectUKey") && Bind(verifyPin, "VerifyPIN") &&
               Bind(changePin, "ChangePin") && Bind(getPinInfo, "GetPinInfo") &&
               Bind(removePinCache, "RemovePinCache") && Bind(initUKey, "InitUKey") && Bind(setData, "SetData") &&
               Bind(getData, "GetData");
    }

    std::string Text(int code) {
        int len = 0;
        if (getErrorMsg(code, nullptr, &len) != 0 || len <= 0) return "";
        std::vector<char> buf(static_cast<size_t>(len));
        if (getErrorMsg(code, buf.data(), &len) != 0) return "";
        return buf.data();
    }
};

Library g_lib;

int Failed(const char* what, int code) {
    std::printf("%s failed: %d %s\n", what, code, g_lib.Text(code).c_str());
    return 1;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "ukey: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

// Calls an export that answers a text through (buffer, length): asks for
// the size first, then for the text.
template <typename Call>
int FetchText(const char* what, Call call, std::string& out) {
    int len = 0;
    int r = call(nullptr, &len);
    if (r != 0) return Failed(what, r);
    if (len <= 0 || len > (1 << 20)) return Failed(what, -300);
    std::vector<char> buf(static_cast<size_t>(len) + 1, '\0');
    len = static_cast<int>(buf.size());
    r = call(buf.data(), &len);
    if (r != 0) return Failed(what, r);
    out = buf.data();
    return 0;
}

// The --serial value, or the only key present.
int ResolveSerial(const std::string& given, std::string& serial) {
    if (!given.empty()) {
        serial = given;
        return 0;
    }
    std::string list;
    if (int r = FetchText("GetPrintNumber", [](char* b, int* l) { return g_lib.getPrintNumber(b, l); }, list))
        return r;
    if (list.find('|') != std::string::npos)
        return Usage("several keys are present (" + list + "): choose one with --serial");
    serial = list;
    return 0;
}

// A whole number in decimal or 0x hexadecimal, 0 .. 0xFFFFFFFF.
bool ParseNumber(const std::string& s, uint32_t& out) {
    if (s.empty() || s[0] == '-') return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// Ctrl+C may come while no wait is in progress (between two events): keep
// stopping until the wait loop has left.
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_waitLoopDone{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    g_interrupted = true;
    for (int i = 0; i < 500 && !g_waitLoopDone; ++i) {
        g_lib.stopDetectUKey();
        ::Sleep(10);
    }
    return TRUE;
}

// count 0: until Ctrl+C.
int WaitCommand(uint32_t count) {
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    int status = 0;
    // Room for the longest serial the shared block can carry.
    char serial[128];
    for (uint32_t seen = 0; (count == 0 || seen < count) && !g_interrupted; ++seen) {
        unsigned type = 0;
        int len = sizeof serial;
        int r = g_lib.waitForKeyEvent(&type, serial, &len);
        if (r != 0) {
            status = Failed("WaitForKeyEvent", r);
            break;
        }
        if (type == static_cast<unsigned>(events::KeyEvent::Stopped)) break;
        std::printf("%s %s\n", type == static_cast<unsigned>(events::KeyEvent::Arrival) ? "arrival" : "removal",
                    serial);
        std::fflush(stdout);
    }
    g_waitLoopDone = true;
    return status;
}

// Writes the record into the shared block and sets the events, as the tray
// agent does; needs no key and no library.
int EventCommand(const std::vector<std::string>& args, const std::string& seqOption) {
    struct Kind {
        const char* word;
        events::KeyEvent kind;
    };
    constexpr Kind kKinds[] = {{"arrival", events::KeyEvent::Arrival}, {"removal", events::KeyEvent::Removal}};
    if (args.size() != 3) return Usage("event needs arrival or removal and a serial number");
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds)
        if (args[1] == k.word) kind = &k;
    if (!kind) return Usage("event kind must be arrival or removal, not '" + args[1] + "'");
    std::string_view serial = events::TrimSerial(args[2]);
    if (serial.empty() || serial.size() > events::kSerialMax)
        return Usage("a serial number has 1 to 16 characters");
    for (char c : serial)
        if (c < 0x20 || c > 0x7E) return Usage("a serial number is printable ASCII");

    events::SharedBlock& block = events::ProcessBlock();
    if (!block.OpenOrCreate()) {
        std::printf("the shared information block cannot be opened or created (error %lu)\n", ::GetLastError());
        return 1;
    }
    uint32_t sequence = 0;
    if (!seqOption.empty()) {
        if (!ParseNumber(seqOption, sequence)) return Usage("--seq needs a number 0 .. 0xFFFFFFFF");
    } else {
        sequence = block.ReadKeyEvent().sequence + 1;
    }
    if (!block.WriteKeyEvent(sequence, serial)) {
        std::printf("the key event record could not be written\n");
        return 1;
    }
    int set = events::SignalKeyEvent(kind->kind);
    std::printf("%s %.*s: record %u written, %d event%s set\n", kind->word, static_cast<int>(serial.size()),
                serial.data(), sequence, set, set == 1 ? "" : "s");
    return 0;
}

}  // namespace

int main() {
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> all = text::Utf8Arguments();
    std::vector<std::string> args;
    std::string serialOption, countOption, seqOption;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string& a = all[i];
        if (a == "--serial") {
            if (i + 1 >= all.size()) return Usage("--serial needs a serial number");
            serialOption = all[++i];
        } else if (a == "--count" || a == "--seq") {
            if (i + 1 >= all.size()) return Usage(a + " needs a number");
            (a == "--count" ? countOption : seqOption) = all[++i];
        } else {
            args.push_back(a);
        }
    }
    if (args.empty() || args[0] == "help" || args[0] == "--help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "event") return EventCommand(args, seqOption);
    if (args[0] == "stores") return ukeytool::ListProviderCertificates();
    if (!g_lib.Load()) {
        std::fprintf(stderr, "ukey: velta_unified_qvlukey_64.dll not found beside ukey.exe, or incomplete\n");
        return 1;
    }

    const std::string& cmd = args[0];
    std::string text;
    if (cmd == "list") {
        if (int r = FetchText("GetPrintNumber", [](char* b, int* l) { return g_lib.getPrintNumber(b, l); }, text))
            return r;
        for (size_t start = 0; start <= text.size();) {
            size_t bar = text.find('|', start);
            std::printf("%s\n", text.substr(start, bar - start).c_str());
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        return 0;
    }
    if (cmd == "vendor") {
        int type = args.size() > 1 ? std::atoi(args[1].c_str()) : 0;
        if (int r = FetchText("GetVendorInfo", [type](char* b, int* l) { return g_lib.getVendorInfo(type, b, l); },
                              text))
            return r;
        std::printf("%s\n", text.c_str());
        return 0;
    }
    if (cmd == "vidpid") {
        if (int r = FetchText("GetVidAndPid", [](char* b, int* l) { return g_lib.getVidAndPid(b, l); }, text))
            return r;
        std::printf("%s\n", text.c_str());
        return 0;
    }
    if (cmd == "error") {
        if (args.size() < 2) return Usage("error needs a result code");
        int code = static_cast<int>(std::strtol(args[1].c_str(), nullptr, 0));
        std::printf("%d %s\n", code, g_lib.Text(code).c_str());
        return 0;
    }

    if (cmd == "wait") {
        uint32_t count = 0;
        if (!countOption.empty() && (!ParseNumber(countOption, count) || count == 0))
            return Usage("--count needs a number above 0");
        return WaitCommand(count);
    }

    std::string serial;
    if (cmd == "label" && args.size() >= 2 && args[1] == "get") {
        if (int r = ResolveSerial(serialOption, serial)) return r;
        if (int r = FetchText(
                "GetLabel", [&](char* b, int* l) { return g_lib.getLabel(serial.c_str(), b, l); }, text))
            return r;
        std::printf("%s\n", text.c_str());
        return 0;
    }
    if (cmd == "label" && args.size() >= 3 && args[1] == "set") {
        if (int r = ResolveSerial(serialOption, serial)) return r;
        int r = g_lib.setLabel(serial.c_str(), args[2].c_str());
        if (r != 0) return Failed("SetLabel", r);
        std::printf("label of %s set\n", serial.c_str());
        return 0;
    }
    if ((cmd == "charset" || cmd == "language") && args.size() >= 2) {
        if (int r = ResolveSerial(serialOption, serial)) return r;
        bool charset = cmd == "charset";
        int r = charset ? g_lib.setCharset(serial.c_str(), args[1].c_str())
                        : g_lib.setLanguage(serial.c_str(), args[1].c_str());
        if (r != 0) return Failed(charset ? "SetCharset" : "SetLanguage", r);
        std::printf("%s of %s set to %s\n", cmd.c_str(), serial.c_str(), args[1].c_str());
        return 0;
    }
    if (cmd == "pin" && args.size() >= 2 && args[1] == "logout-all") {
        if (int r = g_lib.removePinCache()) return Failed("RemovePinCache", r);
        std::printf("every key logged out\n");
        return 0;
    }
    if (cmd == "pin" && args.size() >= 2 && (args[1] == "verify" || args[1] == "change")) {
        if (int r = ResolveSerial(serialOption, serial)) return r;
        bool verify = args[1] == "verify";
        int r = verify ? g_lib.verifyPin(serial.c_str()) : g_lib.changePin(serial.c_str());
        if (r != 0) return Failed(verify ? "VerifyPIN" : "ChangePin", r);
        std::printf("PIN of %s %s\n", serial.c_str(), verify ? "verified" : "changed");
        return 0;
    }
    if (cmd == "pin" && args.size() >= 2 && args[1] == "info") {
        if (int r = ResolveSerial(serialOption, serial)) return r;
        // The size the export answers (8) does not hold two-digit counters:
        // ask with room to spare.
        char info[64] = {};
        int len = sizeof info;
        if (int r = g_lib.getPinInfo(serial.c_str(), info, &len)) return Failed("GetPinInfo", r);
        text = info;
        int limit = 0, left = 0, change = 0, locked = 0;
        std::sscanf(text.c_str(), "%d|%d|%d|%d", &limit, &left, &change, &locked);
        std::printf("%s  (retry limit %d, tries left %d, must change: %s, locked: %s)\n", text.c_str(), limit, left,
                    change ? "yes" : "no", locked ? "yes" : "no");
        return 0;
    }
    if (cmd == "init") {
        if (int r = ResolveSerial(serialOption, serial)) return r;
        if (int r = g_lib.initUKey(serial.c_str())) return Failed("InitUKey", r);
        std::printf("%s initialised\n", serial.c_str());
        return 0;
    }
    if (cmd == "data" && args.size() >= 3 && (args[1] == "get" || args[1] == "set")) {
        if (int r = ResolveSerial(serialOption, serial)) return r;
        if (args[1] == "set") {
            if (int r = g_lib.setData(serial.c_str(), 1, args[2].c_str())) return Failed("SetData", r);
            std::printf("data word of %s set to %s\n", serial.c_str(), args[2].c_str());
            return 0;
        }
        unsigned type = static_cast<unsigned>(std::strtoul(args[2].c_str(), nullptr, 10));
        if (int r = FetchText("GetData", [&](char* b, int* l) { return g_lib.getData(serial.c_str(), type, b, l); }, text))
            return r;
        std::printf("%s\n", text.empty() ? "(no flag set)" : text.c_str());
        return 0;
    }
    return Usage("unknown or incomplete command '" + cmd + "'");
}
