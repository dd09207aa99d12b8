#pragma once
// Number rules shared by every program: the leading-number conversion of
// setting values and typed entries, and rounding half to even into 16 or
// 32 bits with an overflow error.
#include <cstdint>
#include <string_view>

namespace kobal {

// Reads a number from the start of text: blanks, tabs and line feeds are
// skipped anywhere; sign, digits, decimals, exponent (E or D); "&H"/"&O"
// integers. No number gives 0.
double LeadingNumber(std::string_view text);

// Nearest integer, halves to the even neighbour.
double RoundHalfEven(double value);

// Rounded into 16 bits; outside -32768..32767 raises Overflow.
int16_t RoundToInt16(double value);
// Rounded into 32 bits (positions and steps); out of range raises Overflow.
int32_t RoundToInt32(double value);

// Leading-number conversion followed by RoundToInt16.
int16_t NumberSetting(std::string_view text);

// 16-bit arithmetic that raises Overflow instead of wrapping.
int16_t Add16(int a, int b);
int16_t Mul16(int a, int b);

}  // namespace kobal
