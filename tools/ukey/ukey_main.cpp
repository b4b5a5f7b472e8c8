// ukey.exe: the command-line client of the key API library, for integrators
// and support staff. Every command calls one export and prints its answer;
// a failure prints the result code and its text and exits non-zero.
#include "api/velta_ukey.h"
#include "text/command_line.h"

#include <windows.h>

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
               Bind(setLanguage, "SetLanguage");
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

}  // namespace

int main() {
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> all = text::Utf8Arguments();
    std::vector<std::string> args;
    std::string serialOption;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string& a = all[i];
        if (a == "--serial") {
            if (i + 1 >= all.size()) return Usage("--serial needs a serial number");
            serialOption = all[++i];
        } else {
            args.push_back(a);
        }
    }
    if (args.empty() || args[0] == "help" || args[0] == "--help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
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
    return Usage("unknown or incomplete command '" + cmd + "'");
}
