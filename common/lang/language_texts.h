// Language texts of the agent and the tools launcher: INI files
// "<InstallPath>\langs\<language id>.ini", section "TEXT", chosen by a
// Windows language id.
#pragma once

#include <windows.h>

#include <string>

namespace lang {

// The install folder (machine value InstallPath of the product key).
std::wstring InstallPath();

// Tray texts: the machine's language, else the system's UI language.
LANGID TrayLanguage();
// Tool title and PIN-change login: the user's choice, else the machine's,
// else the system's UI language.
LANGID UserLanguage();

// The text of a key in the language's file, at most 255 characters; empty
// when the file or the key is missing.
std::wstring ReadLanguageText(LANGID language, const wchar_t* key);

// The language file of an id.
std::wstring LanguageFile(LANGID language);

}  // namespace lang
