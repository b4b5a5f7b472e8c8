// Exports that identify the key: its serial numbers, USB identity, maker and
// label.
#include "api/frame.h"
#include "api/guard.h"
#include "api/result_codes.h"
#include "api/velta_ukey.h"
#include "config/product.h"
#include "session/token_struct.h"
#include "text/text_convert.h"

#include <cstring>

using namespace api;

namespace {

// Reported lengths: GetPrintNumber, GetLabel and GetVidAndPid report the
// text length (GetVidAndPid's size query is the same 10); GetVendorInfo
// answers a size query with 35 and counts the zero when the buffer is short.
constexpr TextAnswerRule kListAnswer{kTextPlusOne, 0, 0};
constexpr TextAnswerRule kVendorAnswer{35, 0, 1};

// The maker's names, held in GBK and answered in UTF-8.
constexpr char kVendorNameGbk[] =
    "Quorvell\xbf\xc6\xbc\xbc\xb9\xc9\xb7\xdd\xd3\xd0\xcf\xde\xb9\xab\xcb\xbe";  // Quorvell科技股份有限公司
constexpr char kVendorNameLatin[] = "Quorvell Corporation";

constexpr size_t kListWork = 256;
constexpr size_t kLabelWork = 512;
constexpr size_t kLabelMax = 32;

}  // namespace

extern "C" int UKEYAPI GetPrintNumber(char* buffer, int* length) {
    if (!length) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t {
        session::CTokenStruct& s = session::Session();
        char list[kListWork] = {};
        uint32_t slot = 0;
        token::DeviceInfo info;
        int32_t r = s.FindKey("", &slot, &info, list, sizeof list);
        s.ReleaseTokenLibrary();
        if (r != ERR_OK) return r;
        return AnswerText(kListAnswer, list, buffer, length);
    }));
}

extern "C" int UKEYAPI GetVidAndPid(char* buffer, int* length) {
    if (!length) return Store(ERR_INVALID_PARAM);
    return Store(AnswerText(kListAnswer, product::kVidPid, buffer, length));
}

extern "C" int UKEYAPI GetVendorInfo(int type, char* buffer, int* length) {
    if (!length) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t {
        if (!buffer) {
            *length = kVendorAnswer.sizeQuery;
            return ERR_OK;
        }
        const char* gbk = type == 0 || type == 1 ? kVendorNameGbk : type == 2 ? kVendorNameLatin : nullptr;
        if (!gbk) return ERR_OTHER;
        std::string utf8;
        if (text::ConvertText(1, gbk, static_cast<int>(std::strlen(gbk)), utf8) != 0) return ERR_OTHER;
        return AnswerText(kVendorAnswer, utf8, buffer, length);
    }));
}

extern "C" int UKEYAPI SetLabel(const char* serial, const char* label) {
    if (!serial || !*serial || !label) return Store(ERR_INVALID_PARAM);
    size_t n = strnlen(label, kLabelMax + 1);
    if (n < 1 || n > kLabelMax) return Store(ERR_INVALID_PARAM);
    // The token library stays loaded when the label was written.
    return Store(Guarded([&]() -> int32_t { return session::Session().WriteKeyLabel(serial, label); }));
}

extern "C" int UKEYAPI GetLabel(const char* serial, char* buffer, int* length) {
    if (!serial || !*serial || !length) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t {
        char label[kLabelWork] = {};
        int32_t r = session::Session().ReadKeyLabel(serial, label, sizeof label);
        if (r != ERR_OK) return r;
        return AnswerText(kListAnswer, label, buffer, length);
    }));
}
