#include "common/text.h"

#include <algorithm>

namespace kobal {

std::string_view TrimBlanksView(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return text;
}

std::string TrimBlanks(std::string_view text) {
    return std::string(TrimBlanksView(text));
}

static char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Lower(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view RightChars(std::string_view text, size_t n) {
    return n >= text.size() ? text : text.substr(text.size() - n);
}

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() && EqualsNoCase(RightChars(text, ending.size()), ending);
}

}  // namespace kobal
