// Security attributes of the named objects that the agent, the library and
// the plug-in share across sessions and integrity levels.
#pragma once

#include "win/handles.h"

#include <windows.h>

namespace win {

struct LocalFreeFn { void operator()(HLOCAL p) const { ::LocalFree(p); } };
// Memory the system hands out with LocalAlloc (converted string descriptors).
using LocalMemory = Owner<HLOCAL, nullptr, LocalFreeFn>;

// Deny network logons, network configuration operators and the network
// service; allow everyone locally. With the low mandatory label (Vista and
// later) protected-mode browsers can open the objects too.
class ObjectSecurity {
public:
    explicit ObjectSecurity(bool lowIntegrityLabel);
    ObjectSecurity(const ObjectSecurity&) = delete;
    ObjectSecurity& operator=(const ObjectSecurity&) = delete;

    // Not inheritable; valid while this object lives.
    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }
    // False when the label was asked for and could not be set: the
    // descriptor is still usable, only without it.
    bool complete() const { return complete_; }

private:
    SECURITY_DESCRIPTOR descriptor_{};
    // The descriptor points into the ACLs of these, so they live as long.
    LocalMemory daclSource_;
    LocalMemory saclSource_;
    SECURITY_ATTRIBUTES attributes_{};
    bool complete_ = true;
};

// A null DACL: any process of any session may open the object.
class NullDaclSecurity {
public:
    NullDaclSecurity();
    NullDaclSecurity(const NullDaclSecurity&) = delete;
    NullDaclSecurity& operator=(const NullDaclSecurity&) = delete;
    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

private:
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace win
