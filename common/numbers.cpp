#include "common/numbers.h"

#include <cmath>
#include <limits>
#include <string>

#include "common/runtime_error.h"

namespace kobal {
namespace {

bool Skippable(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Digits and the rest of the number, with skippable characters dropped
// wherever they occur ("1 2" reads as 12).
std::string Compact(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!Skippable(c)) out.push_back(c);
    return out;
}

double RadixInteger(std::string_view digits, int radix) {
    // Hex and octal literals are 16-bit when they fit, as the classic reader
    // did: &HFFFF is -1.
    double value = 0;
    size_t used = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else break;
        if (d >= radix) break;
        value = value * radix + d;
        ++used;
    }
    if (used == 0) return 0;
    if (value <= 65535 && value > 32767) value -= 65536;
    else if (value > 65535 && value <= 4294967295.0 && value > 2147483647.0) value -= 4294967296.0;
    return value;
}

}  // namespace

double LeadingNumber(std::string_view raw) {
    const std::string text = Compact(raw);
    size_t i = 0;
    if (text.size() >= 2 && text[0] == '&') {
        char k = text[1];
        if (k == 'h' || k == 'H') return RadixInteger(std::string_view(text).substr(2), 16);
        if (k == 'o' || k == 'O') return RadixInteger(std::string_view(text).substr(2), 8);
        return 0;
    }
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.push_back(text[i++]);
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        number.push_back(text[i++]);
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        number.push_back(text[i++]);
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            number.push_back(text[i++]);
            ++digits;
        }
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent.push_back(text[j++]);
        size_t expDigits = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            exponent.push_back(text[j++]);
            ++expDigits;
        }
        if (expDigits > 0) number += exponent;
    }
    double value = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value)) throw RuntimeError(ErrorNumber::Overflow);
    return value;
}

double RoundHalfEven(double value) {
    // nearbyint follows the current rounding mode, which is to-nearest-even.
    return std::nearbyint(value);
}

int16_t RoundToInt16(double value) {
    if (std::isnan(value)) throw RuntimeError(ErrorNumber::Overflow);
    double r = RoundHalfEven(value);
    if (r < -32768.0 || r > 32767.0) throw RuntimeError(ErrorNumber::Overflow);
    return static_cast<int16_t>(r);
}

int32_t RoundToInt32(double value) {
    if (std::isnan(value)) throw RuntimeError(ErrorNumber::Overflow);
    double r = RoundHalfEven(value);
    if (r < -2147483648.0 || r > 2147483647.0) throw RuntimeError(ErrorNumber::Overflow);
    return static_cast<int32_t>(r);
}

int16_t NumberSetting(std::string_view text) {
    return RoundToInt16(LeadingNumber(text));
}

int16_t Add16(int a, int b) {
    return RoundToInt16(static_cast<double>(a) + b);
}
int16_t Mul16(int a, int b) {
    return RoundToInt16(static_cast<double>(a) * b);
}

}  // namespace kobal
