#pragma once
// Numbers as text, by hand: std::to_wstring brings the C library's
// formatting into the program.
#include <string>

namespace base {

inline std::wstring Decimal(unsigned long long number) {
    std::wstring digits;
    do digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + number % 10));
    while ((number /= 10) > 0);
    return digits;
}

// Two lower-case hex digits per byte.
inline std::wstring HexByte(unsigned char byte) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    return {kDigits[byte >> 4], kDigits[byte & 15]};
}

}  // namespace base
