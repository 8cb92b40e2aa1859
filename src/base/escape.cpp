#include "base/escape.h"

#include <iterator>

#include "base/unseen.h"

namespace base {
namespace {

// A backslash, the letter, and the code point in upper case, as the Unicode
// charts print it.
void AppendEscape(std::wstring& out, wchar_t letter, char32_t value, size_t digits) {
    out += {L'\\', letter};
    out.append(digits, L'0');
    for (size_t at = out.size(); digits--; value >>= 4) out[--at] = L"0123456789ABCDEF"[value & 15];
}

bool Unseen(char32_t c) {
    for (uint32_t range : kUnseen) {
        char32_t first = range >> kUnseenLengthBits;
        if (c < first) return false;
        if (c - first <= (range & ((1u << kUnseenLengthBits) - 1))) return true;
    }
    return false;
}

// The escapes a C reader knows, and the two that quoting needs.
constexpr wchar_t kShort[][2] = {{L'"', L'"'},  {L'\\', L'\\'}, {L'\t', L't'},
                                 {L'\n', L'n'}, {L'\r', L'r'},  {L'\0', L'0'}};

}  // namespace

std::wstring Quoted(std::wstring_view text) {
    std::wstring out = L"\"";
    for (size_t i = 0; i < text.size(); ++i) {
        size_t first = i;
        char32_t c = text[i];
        // Only a whole pair is one character; a lone half is escaped.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        const wchar_t(*named)[2] = kShort;
        while (named != std::end(kShort) && (*named)[0] != c) ++named;
        if (named != std::end(kShort))
            out += {L'\\', (*named)[1]};
        else if (!Unseen(c))
            out.append(text, first, i + 1 - first);
        else if (c < 0x100)
            AppendEscape(out, L'x', c, 2);
        else
            AppendEscape(out, c < 0x10000 ? L'u' : L'U', c, c < 0x10000 ? 4 : 8);
    }
    return out + L"\"";
}

std::wstring JsonString(std::wstring_view text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') out += L'\\';
        if (c < 0x20 || c > 0x7E)
            AppendEscape(out, L'u', c, 4);
        else
            out += c;
    }
    return out + L"\"";
}

}  // namespace base
