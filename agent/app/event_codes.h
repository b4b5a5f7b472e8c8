// The codes the agent's window hands to its worker.
#pragma once

#include <cstdint>

namespace agent {

enum EventCode : uint32_t {
    kCodeArrival = 0x8000,        // device-interface arrival of a maker's device
    kCodeRemoval = 0x8004,        // device-interface removal
    kCodeNodesChanged = 7,        // Windows 2000 before SP4: device nodes changed
    kCodeStartup = 0x10001,       // the worker's first scan
    kCodeRefresh = 0x10002,       // the refresh event
    kCodeResume = 0x10003,        // power resume
    kCodeSessionConnect = 0x10004,
};

}  // namespace agent
