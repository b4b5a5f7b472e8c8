/* Key API library velta_unified_qvlukey_64.dll: the exports for
 * applications. Every function returns a result code (0 success, negative
 * failure; GetErrorMsg gives its text) and stores it as the process's last
 * result code. Texts are zero-terminated 8-bit strings; a result text comes
 * back through a buffer and a pointer to its length. */
#ifndef VELTA_UKEY_H
#define VELTA_UKEY_H

#ifdef __cplusplus
extern "C" {
#endif

#define UKEYAPI __stdcall

/* Frame */
int UKEYAPI Initialize(void);
void UKEYAPI Finalize(void);
void UKEYAPI GetLastErrCode(int* code);
int UKEYAPI GetErrorMsg(int code, char* buffer, int* length);
int UKEYAPI SetCharset(const char* serial, const char* charset);
int UKEYAPI SetLanguage(const char* serial, const char* language);

/* Key information */
int UKEYAPI GetPrintNumber(char* buffer, int* length);
int UKEYAPI GetVidAndPid(char* buffer, int* length);
int UKEYAPI GetVendorInfo(int type, char* buffer, int* length);
int UKEYAPI SetLabel(const char* serial, const char* label);
int UKEYAPI GetLabel(const char* serial, char* buffer, int* length);

/* Key initialisation and data word. InitUKey clears the key (its own
 * dialog asks for the new PIN); GetData type 1 is the value word, type 2
 * the set flags; SetData writes type 1 from "0x<hex>". */
int UKEYAPI InitUKey(const char* serial);
int UKEYAPI SetData(const char* serial, unsigned type, const char* text);
int UKEYAPI GetData(const char* serial, unsigned type, char* buffer, int* length);

/* PIN: checked and changed on the key or in the PIN-pad dialog, never
 * passed through the library. GetPinInfo answers
 * "retry limit|tries left|must change|locked". */
int UKEYAPI VerifyPIN(const char* serial);
int UKEYAPI ChangePin(const char* serial);
int UKEYAPI GetPinInfo(const char* serial, char* buffer, int* length);
int UKEYAPI RemovePinCache(void);

/* Key events: WaitForKeyEvent blocks until the tray agent reports a key
 * arriving (event type 1) or being removed (2), or until StopDetectUKey is
 * called from another thread of the process (0). A missing serial buffer is
 * a size query answered with 17. */
int UKEYAPI WaitForKeyEvent(unsigned* eventType, char* serial, int* length);
int UKEYAPI StopDetectUKey(void);

#ifdef __cplusplus
}
#endif

#endif
