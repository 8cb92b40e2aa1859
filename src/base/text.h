#pragma once
// Numbers as text, by hand: std::to_wstring brings the C library's
// formatting into the program.
#include <initializer_list>
#include <string>
#include <string_view>

struct _FILETIME;

namespace base {

// Texts joined in one go: a chain of + makes and frees a string at each
// step, which costs both time and the program's size.
std::wstring Cat(std::initializer_list<std::wstring_view> parts);

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

// A time the system keeps in UTC, as local time: "2026-12-09 14:03:00".
std::wstring TimeText(const _FILETIME& utc);

}  // namespace base
