#include "app/key_handler.h"

#include "app/event_codes.h"
#include "csp/csp_binding.h"
#include "events/key_event_signal.h"
#include "events/shared_block.h"
#include "lang/language_texts.h"
#include "launcher/ebank_launcher.h"
#include "log/key_log.h"
#include "pinpad/pinpad_session.h"
#include "store/cert_store.h"
#include "win/handles.h"
#include "win/system_module.h"

#include <cstring>
#include <thread>

namespace agent {
namespace {

namespace dev = token::devinfo;

constexpr LPARAM kToolNotifyParam = 537;
constexpr size_t kStoreContainerMax = 300;

std::string Field(const token::DeviceInfo& info, size_t at, size_t width) {
    const char* p = reinterpret_cast<const char*>(info.bytes + at);
    std::string s(p, strnlen(p, width));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

uint32_t Flags(const token::DeviceInfo& info) {
    uint32_t v;
    std::memcpy(&v, info.bytes + dev::kFlags, 4);
    return v;
}

// Sweep removal of one reader's certificates from both stores.
void SweepReader(const std::string& cspReader) {
    store::RemoveProviderCerts(kProviderName, 1, cspReader.c_str(), -1);
    store::RemoveProviderCerts(kProviderName, 2, cspReader.c_str(), -1);
}

// Calls PelkoT_SetSignWay through a fresh load of the token library.
void SetSignWayFreshly(uint32_t slot) {
    win::Module m(win::LoadSystemLibrary(token::kLibraryName));
    if (!m) return;
    auto fn = reinterpret_cast<SetSignWayFn>(::GetProcAddress(m.get(), "PelkoT_SetSignWay"));
    if (fn) fn(slot);
}

// The PIN change a key asks for: the user PIN is verified through the PIN
// pad, which then leads the user through the change on the key.
void PinChangeLogin(uint32_t slot, token::DeviceInfo info) {
    win::Module tokenLib(win::LoadSystemLibrary(token::kLibraryName));
    if (!tokenLib) return;
    FARPROC login = ::GetProcAddress(tokenLib.get(), "PelkoT_Login");
    if (!login) return;
    uint32_t attribute;
    std::memcpy(&attribute, info.bytes + dev::kAttribute, 4);
    pinpad::RunPinOperation({pinpad::kOpVerify, slot | token::kSlotFlag, attribute & 0xFFFF, login});
}

}  // namespace

void NotifyKeyTool(UINT message, WPARAM wParam, LPARAM lParam) {
    const std::wstring title = lang::ReadLanguageText(lang::UserLanguage(), L"STR_ID_USER_TOOL_DESC");
    if (title.empty()) return;
    HWND tool = ::FindWindowW(nullptr, title.c_str());
    if (tool) ::PostMessageW(tool, message, wParam, lParam);
}

FollowUps AgentFollowUps(UINT notifyMessage) {
    FollowUps f;
    f.launchEbanking = [](uint32_t slot, const token::DeviceInfo& info) {
        std::thread([slot, info] { LaunchEbanking(slot, info); }).detach();
    };
    f.pinChangeLogin = [](uint32_t slot, const token::DeviceInfo& info) {
        std::thread([slot, info] { PinChangeLogin(slot, info); }).detach();
    };
    f.notifyTool = [notifyMessage](WPARAM w, LPARAM l) { NotifyKeyTool(notifyMessage, w, l); };
    return f;
}

KeyHandler::KeyHandler(const TokenBinding& token, FollowUps followUps)
    : token_(token), followUps_(std::move(followUps)) {}

void KeyHandler::WriteRecordAndSignal(uint32_t code, const std::string& serial) {
    // A record that cannot be written still wakes the waiting applications.
    events::ProcessBlock().WriteKeyEvent(++sequence_, serial);
    if (code == kCodeArrival) events::SignalKeyEvent(events::KeyEvent::Arrival);
    else if (code == kCodeRemoval) events::SignalKeyEvent(events::KeyEvent::Removal);
}

void KeyHandler::DropKey(SlotRecord& r, uint32_t code, std::string& removedSerial) {
    SweepReader(r.cspReader);
    if (code == kCodeArrival || code == kCodeRemoval) {
        removedSerial = r.serial;
        std::string serial = r.serial;
        WriteKeyLog(static_cast<int>(KeyAction::kRemove), serial.data());
    }
    r.slot = 0;
    r.serial.clear();
}

int KeyHandler::Reconcile(uint32_t code, const ULONG* ids, size_t count, bool* known, std::string& removedSerial) {
    int visited = 0, dropped = 0;
    for (SlotRecord& r : records_) {
        if (r.slot == 0) continue;
        ++visited;
        if (code == kCodeResume || code == kCodeSessionConnect) {
            r.slot = 0;  // forgotten: every present key is registered again
            ++dropped;
            continue;
        }
        size_t at = count;
        for (size_t i = 0; i < count; ++i)
            if (ids[i] == r.slot) at = i;
        if (at < count && token_.manTokenParam(r.slot, token::kParamSlotChanged, nullptr) == token::kOk) {
            known[at] = true;
            continue;
        }
        DropKey(r, code, removedSerial);
        ++dropped;
    }
    if (code == kCodeRemoval) {
        for (SlotRecord& r : records_) {
            if (r.slot != 0 || r.serial.empty()) continue;
            DropKey(r, code, removedSerial);
            ++dropped;
        }
    }
    // Nothing left that the agent knows: no certificate of the provider may
    // stay behind.
    if (visited == dropped && code != kCodeSessionConnect) {
        store::RemoveProviderCerts(kProviderName, 1, nullptr, 0);
        store::RemoveProviderCerts(kProviderName, 2, nullptr, 0);
    }
    return dropped;
}

void KeyHandler::RegisterKey(uint32_t slot, const std::string& cspReader) {
    const std::string reader = csp::TokenReaderName(slot);
    uint8_t list[csp::kContainerListRoom];
    DWORD total = 0;
    if (csp::CspEnumContainers(reader, list, sizeof list, &total) != 0) return;
    BYTE pub[csp::kPublicKeyRoom], cert[csp::kCertificateRoom];
    for (const std::string& name : csp::ContainerNames(list, total)) {
        for (DWORD keySpec : {1u, 2u}) {
            uint8_t keyIndex = 0;
            DWORD algorithm = 0, kind = 0, pubLen = sizeof pub, certLen = sizeof cert;
            if (csp::CspGetContainerInfo(reader + name, keySpec, &keyIndex, &algorithm, &kind, pub, &pubLen, cert,
                                         &certLen) != 0 ||
                certLen == 0)
                continue;
            std::string storeContainer = (cspReader + name).substr(0, kStoreContainerMax);
            store::AddCertToStore(kProviderName, algorithm, storeContainer.c_str(), keySpec, cert, certLen);
        }
    }
}

SlotRecord& KeyHandler::FreeRecord() {
    for (SlotRecord& r : records_)
        if (r.slot == 0) return r;
    records_.emplace_back();
    return records_.back();
}

void KeyHandler::ProcessEventCode(uint32_t code) {
    ++runs_;
    if (!token_.CanScan()) return;
    ULONG ids[token::kSlotArray] = {};
    ULONG count = token::kSlotQuery;
    if (token_.getSlotList(1, ids, &count) != token::kOk) return;
    size_t n = 0;
    while (n < count && n < token::kSlotQuery && ids[n] != 0) ++n;

    bool known[token::kSlotArray] = {};
    std::string removedSerial;
    const int dropped = Reconcile(code, ids, n, known, removedSerial);
    if (dropped) WriteRecordAndSignal(code, removedSerial);

    int registered = 0;
    uint32_t lastSlot = 0;
    token::DeviceInfo lastInfo{};
    for (size_t i = 0; i < n; ++i) {
        if (known[i]) continue;
        const uint32_t slot = ids[i];
        token::DeviceInfo info{};
        const uint32_t size = dev::kSize;
        std::memcpy(info.bytes + dev::kRecordSize, &size, 4);
        token_.getDeviceInfo(slot, 0, info.bytes);  // an unreadable key is still registered from the zeroed record
        const std::string serial = Field(info, dev::kSerial, dev::kSerialLen);
        WriteRecordAndSignal(code, serial);

        const std::string cspReader = csp::CspReaderName(reinterpret_cast<const char*>(info.bytes + dev::kCspName));
        const std::string model = Field(info, dev::kModel, dev::kModelLen);
        if (model == "6120") {
            if (token_.setSignWay) token_.setSignWay(slot);
            SetSignWayFreshly(slot);
        }
        if (model == "6156") {
            // The key starts without a PIN-verify time-out.
            BYTE clear[5] = {};
            std::memcpy(clear, &slot, 4);
            csp::CspProviderParam(csp::kParamPinTimeoutSet, false, "", 0, clear, nullptr);
        }
        SlotRecord& r = FreeRecord();
        if (code == kCodeArrival || code == kCodeRemoval || code == kCodeStartup || code == kCodeResume) {
            std::string logged = serial;
            WriteKeyLog(static_cast<int>(KeyAction::kInsert), logged.data());
        }
        r.slot = slot;
        r.cspReader = cspReader;
        r.serial = serial;
        RegisterKey(slot, cspReader);
        if ((Flags(info) & dev::kFlagMustChangePin) && followUps_.pinChangeLogin) followUps_.pinChangeLogin(slot, info);
        lastSlot = slot;
        lastInfo = info;
        ++registered;
    }

    if (dropped || registered) {
        if (code != kCodeRefresh && code != kCodeSessionConnect && registered && followUps_.launchEbanking)
            followUps_.launchEbanking(lastSlot, lastInfo);
        if (followUps_.notifyTool) followUps_.notifyTool(dropped ? kCodeRemoval : kCodeArrival, kToolNotifyParam);
    }
}

void KeyHandler::ClearUnusedCertificates(DWORD storeSelector) {
    std::vector<std::wstring> present;
    for (const SlotRecord& r : records_) {
        std::wstring reader;
        if (r.slot != 0 && store::NameToWide(r.cspReader.c_str(), reader)) present.push_back(reader);
    }
    store::RemoveProviderCertsWhere(kProviderName, storeSelector, [&](const wchar_t* container, DWORD) {
        const std::wstring name = container;
        for (const std::wstring& reader : present)
            if (name.find(reader) != std::wstring::npos) return false;  // a present key's certificate stays
        return true;
    });
}

}  // namespace agent
