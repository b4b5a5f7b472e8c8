// The agent's worker: one thread that takes the event codes the window
// posts and does all key, store and token-library work. The window and the
// worker share only the pending code (replaced atomically, so a burst of
// notifications collapses into the last one) and the work event.
#pragma once

#include "app/key_handler.h"
#include "app/token_binding.h"
#include "win/handles.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace agent {

class AgentWorker {
public:
    // followUps: what a run starts beyond its own work; by default the
    // agent's threads and the key tool notification.
    explicit AgentWorker(std::optional<FollowUps> followUps = std::nullopt);
    ~AgentWorker();

    // Creates the events, queues the startup scan, makes sure the guard task
    // exists for agentProgram, tells waiting applications that the counter
    // starts again, and starts the thread.
    bool Start(UINT notifyMessage, const std::wstring& agentProgram);
    // Deletes the guard task, clears the provider's certificates and the
    // per-user text values, ends the thread and tells the key tool.
    void Stop();

    // Window thread: hand a code to the worker.
    void Post(uint32_t code);
    // Runs made so far (0 before Start).
    uint32_t runs() const { return handler_ ? handler_->runs() : 0; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();

    UINT notifyMessage_ = 0;
    std::optional<FollowUps> followUps_;
    TokenBinding token_;
    std::unique_ptr<KeyHandler> handler_;
    win::Handle quit_, work_, refresh_, clearUnused_, thread_;
    std::atomic<uint32_t> pending_{0};
};

}  // namespace agent
