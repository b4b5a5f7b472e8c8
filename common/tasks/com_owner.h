// RAII for COM: one owner per interface pointer, and COM itself for the
// length of one call.
#pragma once

#include "win/handles.h"

#include <objbase.h>

namespace tasks {

struct ComReleaseFn { void operator()(IUnknown* p) const { p->Release(); } };
template <typename I>
using Com = win::Owner<I*, nullptr, ComReleaseFn>;

// For the creation calls that hand the interface back through a void**.
template <typename I>
void** ComOut(Com<I>& owner) { return reinterpret_cast<void**>(owner.put()); }

// A thread that already runs COM in the other threading model can still use
// in-process objects; it is not ours to uninitialise then.
class ComApartment {
public:
    ComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

}  // namespace tasks
