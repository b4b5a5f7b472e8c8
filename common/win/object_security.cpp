#include "win/object_security.h"

#include <sddl.h>

namespace win {
namespace {

constexpr wchar_t kSharedDacl[] =
    L"D:(D;OICI;GA;;;NU)(D;OICI;GA;;;NO)(D;OICI;GA;;;NS)"
    L"(A;OICI;GAGRGWGXFAFRFRFXRPWPCCDCLCSWLODTCR;;;WD)";
constexpr wchar_t kLowLabelSacl[] = L"S:(ML;;NW;;;LW)";

LocalMemory Convert(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
        return LocalMemory();
    return LocalMemory(sd);
}

}  // namespace

ObjectSecurity::ObjectSecurity(bool lowIntegrityLabel) {
    // Start from a null DACL, so that a string that cannot be converted still
    // leaves an object everybody can open rather than one nobody can.
    ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE);
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};

    daclSource_ = Convert(kSharedDacl);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (daclSource_ && ::GetSecurityDescriptorDacl(daclSource_.get(), &present, &dacl, &defaulted) && present)
        ::SetSecurityDescriptorDacl(&descriptor_, TRUE, dacl, FALSE);

    if (!lowIntegrityLabel) return;
    saclSource_ = Convert(kLowLabelSacl);
    PACL sacl = nullptr;
    complete_ = saclSource_ && ::GetSecurityDescriptorSacl(saclSource_.get(), &present, &sacl, &defaulted) &&
                present && ::SetSecurityDescriptorSacl(&descriptor_, TRUE, sacl, FALSE);
}

NullDaclSecurity::NullDaclSecurity() {
    ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE);
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
}

}  // namespace win
