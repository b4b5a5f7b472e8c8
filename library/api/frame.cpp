#include "api/frame.h"

#include "api/result_codes.h"

#include <cstring>

namespace api {
namespace {

int32_t g_lastResult = 0;
HANDLE g_clearEvent = nullptr;

}  // namespace

int32_t LastResult() { return g_lastResult; }

int32_t Store(int32_t result) { return g_lastResult = result; }

HANDLE EnsureClearEvent() {
    if (g_clearEvent) return g_clearEvent;
    // Null DACL: the agent of any session and integrity level may open it.
    SECURITY_DESCRIPTOR sd;
    ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    g_clearEvent = ::CreateEventW(&sa, TRUE, FALSE, L"Global\\TokenEventStatusClearDll_VELTA");
    return g_clearEvent;
}

void CloseClearEvent() {
    if (!g_clearEvent) return;
    ::ResetEvent(g_clearEvent);
    ::CloseHandle(g_clearEvent);
    g_clearEvent = nullptr;
}

int32_t AnswerText(const TextAnswerRule& rule, std::string_view text, char* buffer, int32_t* length) {
    const int32_t n = static_cast<int32_t>(text.size());
    if (!buffer) {
        *length = rule.sizeQuery == kTextPlusOne ? n + 1 : rule.sizeQuery;
        return ERR_OK;
    }
    if (*length < n + 1) {
        *length = n + rule.smallExtra;
        return ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[n] = '\0';
    *length = n + rule.fitExtra;
    return ERR_OK;
}

}  // namespace api
