// Result codes of the key API library. 0 is success, every failure is
// negative and has one name and one text.
#pragma once

#include <cstdint>
#include <string>

namespace api {

enum Result : int32_t {
    ERR_OK = 0,
    ERR_USER_CANCEL = -100,
    ERR_DRIVER_NOT_INSTALLED = -101,
    ERR_NO_KEY = -102,
    ERR_KEY_NOT_CONNECTED = -103,
    ERR_MULTIPLE_KEYS = -104,
    ERR_KEY_PRESS_TIMEOUT = -105,
    ERR_SERIAL_MISMATCH = -108,
    ERR_PIN_WRONG_BASE = -210,  // - n: wrong PIN, n tries left
    ERR_PIN_LOCKED = -221,
    ERR_PIN_LENGTH = -222,
    ERR_PIN_RULE = -226,
    ERR_OTHER = -300,
    ERR_READ_KEY = -302,
    ERR_CERT_DUPLICATE = -310,
    ERR_REGISTRY_KEY_MISSING = -311,
    ERR_REGISTRY_CORRUPT = -312,
    ERR_DECRYPT = -313,
    ERR_ENVELOPE_KEY_TYPE = -314,
    ERR_DRIVER_FILE_MISSING = -315,
    ERR_SERVICE_NOT_RUNNING = -316,
    ERR_CERT_NOT_REGISTERED = -317,
    ERR_NOT_SUPPORTED = -400,
    ERR_INVALID_PARAM = -401,
    ERR_NOT_FIREFOX = -403,
    ERR_BUFFER_TOO_SMALL = -404,
    ERR_DEBUGGER = -405,
    ERR_NO_DRIVER = -406,
    ERR_KEY_BUFFER_TOO_SMALL = -407,
    ERR_CERT_NOT_FOUND = -500,
    ERR_CERT_EXPIRED = -501,
    ERR_CERT_NOT_YET_VALID = -502,
    ERR_WRITE_CERT = -503,
    ERR_EXPORT_PUBKEY = -505,
    ERR_RANDOM = -506,
    ERR_MULTIPLE_REQUESTS = -507,
    ERR_GEN_KEYPAIR = -508,
    ERR_GEN_P10 = -509,
    ERR_PARSE_CERT = -510,
    ERR_SIGN_P7 = -511,
    ERR_VERIFY_P7 = -512,
    ERR_IMPORT_ENC_KEY = -513,
    ERR_VERIFY_CERT = -514,
    ERR_WRITE_OBJECT = -700,
    ERR_OPEN_FILE = -701,
    ERR_PDF_BATCH_GENERAL_SIGN = -806,
    ERR_PDF_BATCH_TRADE_SIGN = -807,
    ERR_PIN_VERIFY_TIMEOUT = -924,
    ERR_IN_TRANSACTION = -925,
};

// The wrong-PIN code for n tries left.
constexpr int32_t PinWrong(int32_t triesLeft) { return ERR_PIN_WRONG_BASE - triesLeft; }

// The text of a code (UTF-16): the table's text, the wrong-PIN text with its
// count for -210 .. -219, "其他错误。" for any code without a text.
std::wstring ErrorText(int32_t code);
// The code's name ("ERR_NO_KEY"), or an empty text for a code without one.
const char* ErrorName(int32_t code);

}  // namespace api
