#include "app/agent_worker.h"

#include "app/event_codes.h"
#include "config/product.h"
#include "events/event_names.h"
#include "events/shared_block.h"
#include "store/cert_store.h"
#include "tasks/scheduled_task.h"
#include "win/object_security.h"
#include "win/registry.h"

namespace agent {
namespace {

constexpr uint32_t kParamNodesChanged = 100102;
constexpr LPARAM kToolStopParam = 16;

// Opens a named event that another side created and sets it.
void SetIfPresent(const wchar_t* name) {
    win::Handle e(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    if (e) ::SetEvent(e.get());
}

}  // namespace

AgentWorker::AgentWorker(std::optional<FollowUps> followUps)
    : followUps_(std::move(followUps)), token_(LoadTokenBinding()) {}

AgentWorker::~AgentWorker() { FreeTokenBinding(token_); }

bool AgentWorker::Start(UINT notifyMessage, const std::wstring& agentProgram) {
    notifyMessage_ = notifyMessage;
    handler_ = std::make_unique<KeyHandler>(token_, followUps_ ? *followUps_ : AgentFollowUps(notifyMessage));
    // The low-integrity label only where the system has integrity levels.
    win::ObjectSecurity security(events::SystemSessions().vistaOrLater());
    quit_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    work_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    refresh_.reset(::CreateEventW(security.attributes(), FALSE, FALSE, events::kAgentRefreshEvent));
    clearUnused_.reset(::CreateEventW(nullptr, FALSE, FALSE, events::kAgentClearUnusedEvent));

    Post(kCodeStartup);
    tasks::EnsureGuardTask(agentProgram.c_str(), tasks::GuardCheck::kAgent);
    // This agent's sequence numbers start again at 1.
    SetIfPresent(events::kLibraryClearEvent);
    SetIfPresent(events::kListenerClearEvent);

    thread_.reset(::CreateThread(nullptr, 0, &AgentWorker::ThreadMain, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

void AgentWorker::Post(uint32_t code) {
    pending_.exchange(code);
    if (work_) ::SetEvent(work_.get());
}

DWORD WINAPI AgentWorker::ThreadMain(void* self) {
    static_cast<AgentWorker*>(self)->Run();
    return 0;
}

void AgentWorker::Run() {
    HANDLE waits[4] = {quit_.get(), work_.get(), refresh_.get(), clearUnused_.get()};
    const DWORD n = refresh_ && clearUnused_ ? 4 : 2;
    for (;;) {
        DWORD r = ::WaitForMultipleObjects(n, waits, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0) return;
        if (r == WAIT_OBJECT_0 + 1) {
            uint32_t code = pending_.exchange(0);
            if (code == kCodeNodesChanged) {
                // Only a change the token library confirms is a removal.
                if (!token_.manTokenParam || token_.manTokenParam(0, kParamNodesChanged, nullptr) == 0) continue;
                code = kCodeRemoval;
            }
            if (code) handler_->ProcessEventCode(code);
        } else if (r == WAIT_OBJECT_0 + 2) {
            handler_->ProcessEventCode(kCodeRefresh);
        } else if (r == WAIT_OBJECT_0 + 3) {
            handler_->ClearUnusedCertificates(1);
            handler_->ClearUnusedCertificates(2);
        } else {
            ::Sleep(5);
        }
    }
}

void AgentWorker::Stop() {
    tasks::DeleteGuardTask();
    store::RemoveProviderCerts(kProviderName, 1, nullptr, 0);
    store::RemoveProviderCerts(kProviderName, 2, nullptr, 0);
    win::RegKey user;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, product::kRegistryKey, 0, KEY_ALL_ACCESS, user.put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(user.get(), product::kValueUiLang);
        ::RegDeleteValueW(user.get(), product::kValueUiSupport);
    }
    if (quit_) ::SetEvent(quit_.get());
    if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
    handler_.reset();
    NotifyKeyTool(notifyMessage_, 0, kToolStopParam);
    quit_.reset();
    work_.reset();
    refresh_.reset();
    clearUnused_.reset();
    thread_.reset();
}

}  // namespace agent
