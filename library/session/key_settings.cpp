#include "session/key_settings.h"

#include "api/result_codes.h"
#include "config/product.h"
#include "session/token_struct.h"
#include "win/registry.h"

#include <cstring>

namespace session {

using namespace api;

namespace {

struct LanguageRow {
    const char* text;
    LanguageChoice choice;
};

// Languages the key shows itself (UILang 0: the key's own language), then
// those shown in English on the key with the computer's texts in the
// language given by UILang.
constexpr LanguageRow kLanguages[] = {
    {"zh_CN", {0, 0, 0x100}},  {"en_US", {1, 0, 0x200}},  {"zh_TW", {2, 0, 0x400}},
    {"ru_RU", {3, 0, 0x800}},  {"fr_FR", {4, 0, 0x1000}}, {"id_ID", {5, 0, 0x2000}},
    {"ja_JP", {6, 0, 0x4000}}, {"de_DE", {7, 0, 0x8000}}, {"ar_SA", {8, 0, 0x1}},
    {"ko_KR", {9, 0, 0x2}},    {"kk_KZ", {10, 0, 0x4}},
    {"th_TH", {1, 1054, 0}},   {"pl_PL", {1, 1045, 0}},   {"nl_NL", {1, 1043, 0}},
};

struct Charset {
    const char* text;
    uint32_t value;
};
constexpr Charset kCharsets[] = {{"GBK", 0}, {"UTF-8", 1}};

// Loads the token library and walks the slot list to the key: the first one
// when serial is missing, else the first exact match. Refuses model 6156,
// whose display has no text settings.
int32_t WalkToKey(CTokenStruct& s, const char* serial, uint32_t& slot) {
    if (s.LoadTokenLibrary() != ERR_OK) return ERR_DRIVER_NOT_INSTALLED;
    ULONG ids[token::kSlotArray] = {};
    ULONG count = token::kSlotQuery;
    if (s.entries().getSlotList(1, ids, &count) != token::kOk || count == 0) return ERR_NO_KEY;
    for (size_t i = 0; i < token::kSlotQuery && ids[i] != 0; ++i) {
        token::DeviceInfo info{};
        if (s.entries().getDeviceInfo(ids[i], 0, info.bytes) != token::kOk) return ERR_READ_KEY;
        if (serial && SerialOf(info) != serial) continue;
        if (ModelOf(info) == "6156") return ERR_NOT_SUPPORTED;
        slot = ids[i];
        return ERR_OK;
    }
    return ERR_SERIAL_MISMATCH;
}

// Reads the mask of languages the key can show and records it in UISupport.
// The answer (whether the language is among them) is advisory only.
bool ReadUiLanguageMask(CTokenStruct& s, uint32_t slot, const char* language) {
    uint32_t mask = 0;
    if (s.entries().manTokenParam(slot | token::kSlotFlag, token::kParamGetLanguageMask, &mask) != token::kOk)
        return false;
    win::WriteDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueUiSupport, mask);
    LanguageChoice c;
    return LookUpLanguage(language, c) && c.maskBit != 0 && (mask & c.maskBit) != 0;
}

}  // namespace

bool LookUpLanguage(const char* language, LanguageChoice& out) {
    if (!language) return false;
    for (const LanguageRow& row : kLanguages) {
        if (std::strcmp(row.text, language) == 0) {
            out = row.choice;
            return true;
        }
    }
    return false;
}

int32_t SetKeyCharset(const char* serial, const char* charset) {
    CTokenStruct& s = Session();
    const Charset* chosen = nullptr;
    for (const Charset& c : kCharsets)
        if (charset && _stricmp(charset, c.text) == 0) chosen = &c;
    if (!chosen) return ERR_INVALID_PARAM;

    uint32_t slot = 0;
    int32_t r = WalkToKey(s, serial, slot);
    if (r == ERR_OK) {
        uint32_t value = chosen->value;
        r = s.entries().manTokenParam(slot | token::kSlotFlag, token::kParamSetCharset, &value) == token::kOk
                ? ERR_OK
                : ERR_READ_KEY;
    }
    s.ReleaseTokenLibrary();
    return r;
}

int32_t SetKeyLanguage(const char* serial, const char* language) {
    CTokenStruct& s = Session();
    uint32_t slot = 0;
    int32_t r = WalkToKey(s, serial, slot);
    if (r == ERR_OK) {
        ReadUiLanguageMask(s, slot, language);
        LanguageChoice c;
        if (!LookUpLanguage(language, c)) {
            r = ERR_INVALID_PARAM;
        } else {
            win::WriteDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueUiLang, c.uiLang);
            uint32_t index = c.keyIndex;
            r = s.entries().manTokenParam(slot | token::kSlotFlag, token::kParamSetLanguage, &index) == token::kOk
                    ? ERR_OK
                    : ERR_READ_KEY;
        }
    }
    s.ReleaseTokenLibrary();
    return r;
}

}  // namespace session
