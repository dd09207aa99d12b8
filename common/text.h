#pragma once
// Text helpers with the system's own rules (only code 32 counts as a blank).
#include <string>
#include <string_view>

namespace kobal {

// Removes trailing, then leading spaces (code 32 only; tabs stay).
std::string TrimBlanks(std::string_view text);
std::string_view TrimBlanksView(std::string_view text);

std::string LowerCase(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// The last n characters (all of text when shorter), as the classic Right$.
std::string_view RightChars(std::string_view text, size_t n);
bool EndsWithNoCase(std::string_view text, std::string_view ending);

}  // namespace kobal
