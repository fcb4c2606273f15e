#pragma once
#include <cstdint>
#include <string>

// The whole-number rule every setting and command-line number goes through.
//
// Accepted: leading spaces or tabs, an optional '-' or '+', then either
// decimal digits whose value fits the signed 32-bit range, or hexadecimal
// digits after "$", "x", "X", "0x" or "0X" whose value fits 32 bits and is
// taken as the bit pattern ("$FFFFFFFF" is -1; a sign negates the pattern).
// Nothing may follow the digits. On failure `out` is left untouched.
bool TryStrToInt(const std::string &text, std::int32_t &out);
