#include "card/strtoint.h"

namespace {

int DigitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

bool TryStrToInt(const std::string &text, std::int32_t &out)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == n) {
        return false;
    }

    // Hexadecimal may use all 32 bits; decimal is bounded by the sign, so that
    // "-2147483648" is accepted and "2147483648" is not.
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 2147483648u : 2147483647u);
    const std::uint64_t base = hex ? 16 : 10;
    std::uint64_t value = 0;
    for (; i < n; ++i) {
        const int digit = DigitValue(text[i], hex);
        if (digit < 0) {
            return false;
        }
        value = value * base + static_cast<std::uint64_t>(digit);
        if (value > limit) {
            return false;
        }
    }

    // Negating in unsigned arithmetic wraps as the 32-bit pattern requires
    // ("-$80000000" and "-2147483648" both give the smallest value).
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative) {
        bits = 0u - bits;
    }
    out = static_cast<std::int32_t>(bits);
    return true;
}
