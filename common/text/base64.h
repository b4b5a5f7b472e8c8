// Standard Base64 (A-Z, a-z, 0-9, "+", "/", "=" padding), no line breaks.
#pragma once

#include <string>

namespace text {

std::string Base64Encode(const std::string& bytes);
// false for a text that is not Base64 of this form
bool Base64Decode(const std::string& text, std::string& bytes);

}  // namespace text
