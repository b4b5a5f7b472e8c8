// Exports of the frame: start and end, the last result code and its text,
// and the key's text settings.
#include "api/frame.h"
#include "api/guard.h"
#include "api/result_codes.h"
#include "api/velta_ukey.h"
#include "session/key_settings.h"
#include "session/token_struct.h"
#include "text/text_convert.h"

using namespace api;

namespace {
// GetErrorMsg: a size query answers 200; the reported length counts the zero.
constexpr TextAnswerRule kErrorMsgAnswer{200, 1, 1};
constexpr int kErrorMsgWork = 1024;
}  // namespace

extern "C" int UKEYAPI Initialize(void) {
    return Store(Guarded([]() -> int32_t {
        EnsureClearEvent();
        // The token library stays loaded until the next export frees it.
        return session::Session().BindTokenLibrary();
    }));
}

extern "C" void UKEYAPI Finalize(void) {
    Guarded([]() -> int32_t {
        CloseClearEvent();
        session::Session().ReleaseTokenLibrary();
        return ERR_OK;
    });
}

extern "C" void UKEYAPI GetLastErrCode(int* code) {
    if (code) *code = LastResult();
    else Store(ERR_INVALID_PARAM);
}

extern "C" int UKEYAPI GetErrorMsg(int code, char* buffer, int* length) {
    if (!length) return Store(ERR_INVALID_PARAM);
    int32_t r = Guarded([&]() -> int32_t {
        if (!buffer) {
            *length = kErrorMsgAnswer.sizeQuery;
            return ERR_OK;
        }
        std::string utf8;
        std::wstring text = ErrorText(code);
        if (!text.empty() && text::WideToText(1, text.c_str(), -1, utf8) != 0) return ERR_OTHER;
        if (utf8.size() >= static_cast<size_t>(kErrorMsgWork)) return ERR_OTHER;
        return AnswerText(kErrorMsgAnswer, utf8, buffer, length);
    });
    // A successful call leaves the last result code alone.
    return r == ERR_OK ? r : Store(r);
}

extern "C" int UKEYAPI SetCharset(const char* serial, const char* charset) {
    if (!serial || !charset) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t { return session::SetKeyCharset(serial, charset); }));
}

extern "C" int UKEYAPI SetLanguage(const char* serial, const char* language) {
    if (!serial || !language) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t { return session::SetKeyLanguage(serial, language); }));
}
