#include "api/result_codes.h"

#include <cwchar>

namespace api {
namespace {

struct CodeEntry {
    int32_t code;
    const char* name;
    const wchar_t* text;
};

constexpr wchar_t kOtherText[] = L"其他错误。";
constexpr wchar_t kBufferText[] = L"传入缓冲区空间不足，请增大分配缓冲区。";
constexpr wchar_t kPinWrongFormat[] = L"密码认证失败，您还有%d次机会。";

constexpr CodeEntry kCodes[] = {
    {ERR_OK, "ERR_OK", L""},
    {ERR_USER_CANCEL, "ERR_USER_CANCEL", L"用户取消按键。"},
    {ERR_DRIVER_NOT_INSTALLED, "ERR_DRIVER_NOT_INSTALLED", L"没有成功安装驱动，请重新安装驱动。"},
    {ERR_NO_KEY, "ERR_NO_KEY", L"没有插入UKey，请插入UKey。"},
    {ERR_KEY_NOT_CONNECTED, "ERR_KEY_NOT_CONNECTED", L"UKey未连接，请插入UKey，确保UKey连接。"},
    {ERR_MULTIPLE_KEYS, "ERR_MULTIPLE_KEYS", L"插入了多个同款UKey，请拔掉其余UKey到只剩一支。"},
    {ERR_KEY_PRESS_TIMEOUT, "ERR_KEY_PRESS_TIMEOUT", L"等待用户按键超时。"},
    {ERR_SERIAL_MISMATCH, "ERR_SERIAL_MISMATCH", L"序列号不匹配，请检查UKey序列号是否一致。"},
    {ERR_PIN_LOCKED, "ERR_PIN_LOCKED", L"UKey密码已被锁死，请至我行柜面解锁。"},
    {ERR_PIN_LENGTH, "ERR_PIN_LENGTH", L"输入密码长度不对，请重新输入。"},
    {ERR_PIN_RULE, "ERR_PIN_RULE", L"密码不符合设置规则，请重新输入。"},
    {ERR_OTHER, "ERR_OTHER", kOtherText},
    {ERR_READ_KEY, "ERR_READ_KEY", L"读取UKey数据失败。"},
    {ERR_CERT_DUPLICATE, "ERR_CERT_DUPLICATE", L"重复写证书错误，请至我行柜面重新制证。"},
    {ERR_REGISTRY_KEY_MISSING, "ERR_REGISTRY_KEY_MISSING", L"驱动相关注册表项不存在，请修复或重新安装驱动。"},
    {ERR_REGISTRY_CORRUPT, "ERR_REGISTRY_CORRUPT", L"注册表文件损坏，请修复或重新安装驱动。"},
    {ERR_DECRYPT, "ERR_DECRYPT", L"解密失败。"},
    {ERR_ENVELOPE_KEY_TYPE, "ERR_ENVELOPE_KEY_TYPE", L"双证保护密钥类型错误。"},
    {ERR_DRIVER_FILE_MISSING, "ERR_DRIVER_FILE_MISSING", L"驱动文件缺失，请修复或重新安装驱动。"},
    {ERR_SERVICE_NOT_RUNNING, "ERR_SERVICE_NOT_RUNNING", L"服务进程未启动，请修复或重新安装驱动。"},
    {ERR_CERT_NOT_REGISTERED, "ERR_CERT_NOT_REGISTERED", L"证书未注册，请您先注册证书后再使用。"},
    {ERR_NOT_SUPPORTED, "ERR_NOT_SUPPORTED", L"不支持的服务。"},
    {ERR_INVALID_PARAM, "ERR_INVALID_PARAM", L"输入参数错误。"},
    {ERR_NOT_FIREFOX, "ERR_NOT_FIREFOX", L"进程不是firefox。"},
    {ERR_BUFFER_TOO_SMALL, "ERR_BUFFER_TOO_SMALL", kBufferText},
    {ERR_DEBUGGER, "ERR_DEBUGGER", L"检测到调试器，处于调试状态。"},
    {ERR_NO_DRIVER, "ERR_NO_DRIVER", L"没有检测到UKey驱动，请至我行网站下载UKey驱动安装。"},
    {ERR_KEY_BUFFER_TOO_SMALL, "ERR_KEY_BUFFER_TOO_SMALL", kBufferText},
    {ERR_CERT_NOT_FOUND, "ERR_CERT_NOT_FOUND", L"证书不存在，请确认Key内是否存在相应证书。"},
    {ERR_CERT_EXPIRED, "ERR_CERT_EXPIRED", L"证书过期，请您去我行网点维护。"},
    {ERR_CERT_NOT_YET_VALID, "ERR_CERT_NOT_YET_VALID", L"证书尚未生效，请检查您的系统时间是否正确。"},
    {ERR_WRITE_CERT, "ERR_WRITE_CERT", L"写证书失败，请至我行柜面重新制证。"},
    {ERR_EXPORT_PUBKEY, "ERR_EXPORT_PUBKEY", L"导出公钥错误，请至我行柜面重新制证。"},
    {ERR_RANDOM, "ERR_RANDOM", L"获取随机数失败。"},
    {ERR_MULTIPLE_REQUESTS, "ERR_MULTIPLE_REQUESTS", L"存在多个证书请求，请至我行柜面重新制证。"},
    {ERR_GEN_KEYPAIR, "ERR_GEN_KEYPAIR", L"产生密钥对失败，请至我行柜面重新制证。"},
    {ERR_GEN_P10, "ERR_GEN_P10", L"产生P10失败，请至我行柜面重新制证。"},
    {ERR_PARSE_CERT, "ERR_PARSE_CERT", L"解析证书失败，请至我行柜面重新制证。"},
    {ERR_SIGN_P7, "ERR_SIGN_P7", L"生成签名P7包失败，请重新操作。"},
    {ERR_VERIFY_P7, "ERR_VERIFY_P7", L"验证P7失败。"},
    {ERR_IMPORT_ENC_KEY, "ERR_IMPORT_ENC_KEY", L"导入加密密钥失败，请至我行柜面重新制证。"},
    {ERR_VERIFY_CERT, "ERR_VERIFY_CERT", L"验证证书失败，请至我行柜面重新制证。"},
    {ERR_WRITE_OBJECT, "ERR_WRITE_OBJECT", L"写对象失败，请至我行柜面重新制证。"},
    {ERR_OPEN_FILE, "ERR_OPEN_FILE", L"打开文件失败。"},
    {ERR_PDF_BATCH_GENERAL_SIGN, "ERR_PDF_BATCH_GENERAL_SIGN", L"pdf批量通用签名失败。"},
    {ERR_PDF_BATCH_TRADE_SIGN, "ERR_PDF_BATCH_TRADE_SIGN", L"pdf批量交易签名失败。"},
    {ERR_PIN_VERIFY_TIMEOUT, "ERR_PIN_VERIFY_TIMEOUT", L"校验PIN码超时。"},
    {ERR_IN_TRANSACTION, "ERR_IN_TRANSACTION", L"正在交易中，请输入PIN码。"},
};

const CodeEntry* Find(int32_t code) {
    for (const CodeEntry& e : kCodes)
        if (e.code == code) return &e;
    return nullptr;
}

// -210 .. -219 carry the wrong-PIN text; -220 and below do not (-221 and
// -222 have texts of their own).
bool IsPinWrongCode(int32_t code) { return code <= ERR_PIN_WRONG_BASE && code >= ERR_PIN_WRONG_BASE - 9; }

}  // namespace

std::wstring ErrorText(int32_t code) {
    if (IsPinWrongCode(code)) {
        wchar_t buf[64];
        swprintf(buf, sizeof buf / sizeof buf[0], kPinWrongFormat, ERR_PIN_WRONG_BASE - code);
        return buf;
    }
    const CodeEntry* e = Find(code);
    return e ? e->text : kOtherText;
}

const char* ErrorName(int32_t code) {
    if (code == ERR_PIN_WRONG_BASE) return "ERR_PIN_WRONG_BASE";
    if (IsPinWrongCode(code)) return "ERR_PIN_WRONG";
    const CodeEntry* e = Find(code);
    return e ? e->name : "";
}

}  // namespace api
