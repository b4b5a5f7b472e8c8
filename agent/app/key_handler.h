// What the agent does for every event code: reconcile the keys it knows
// with the keys the token library reports, take the certificates of keys
// that went away out of the user's stores and put those of keys that
// arrived in, tell waiting applications through the shared block and the
// named events, and notify the key management tool.
#pragma once

#include "app/token_binding.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace agent {

inline constexpr char kProviderName[] = "VLBK USBKEY2 CSP QVL";

// One key the agent knows. slot 0: a free record, which may still carry the
// serial of the key it held until a removal clears it.
struct SlotRecord {
    uint32_t slot = 0;
    std::string cspReader;  // "\\.\Quorvell <CSP device name>\"
    std::string serial;
};

// What a run starts beyond its own work; the agent starts threads, tests
// record the calls.
struct FollowUps {
    std::function<void(uint32_t slot, const token::DeviceInfo& info)> launchEbanking;
    std::function<void(uint32_t slot, const token::DeviceInfo& info)> pinChangeLogin;
    std::function<void(WPARAM, LPARAM)> notifyTool;
};

// The agent's follow-ups: threads for the e-banking launcher and the PIN
// change login, a posted message for the key tool.
FollowUps AgentFollowUps(UINT notifyMessage);

class KeyHandler {
public:
    KeyHandler(const TokenBinding& token, FollowUps followUps);

    // The whole run for one code (every code but the clear-unused request).
    void ProcessEventCode(uint32_t code);
    // Deletes the provider's certificates of keys no longer present from one
    // store (1 "MY", 2 "addressbook").
    void ClearUnusedCertificates(DWORD storeSelector);

    const std::vector<SlotRecord>& records() const { return records_; }
    uint32_t sequence() const { return sequence_; }
    // How many runs ProcessEventCode made.
    uint32_t runs() const { return runs_; }

private:
    int Reconcile(uint32_t code, const ULONG* ids, size_t count, bool* known, std::string& removedSerial);
    void DropKey(SlotRecord& r, uint32_t code, std::string& removedSerial);
    void RegisterKey(uint32_t slot, const std::string& cspReader);
    void WriteRecordAndSignal(uint32_t code, const std::string& serial);
    SlotRecord& FreeRecord();

    const TokenBinding& token_;
    FollowUps followUps_;
    std::vector<SlotRecord> records_;
    uint32_t sequence_ = 0;  // the key event counter: the first record carries 1
    std::atomic<uint32_t> runs_{0};
};

// Notifies the key management tool, when it runs: its window title is a
// language text; it gets the registered message with wParam and lParam.
void NotifyKeyTool(UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace agent
