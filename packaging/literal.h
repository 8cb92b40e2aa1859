#pragma once
// The installer formats a log record's text: [name] becomes a property, [1] a
// field, {...} may vanish. Each bracket and brace written as [\x] stands for
// itself alone, so Tavrel's words reach the log as they are.
#include <string>

inline std::wstring MsiLiteral(const std::wstring& text) {
    std::wstring literal;
    for (wchar_t c : text) {
        if (c == L'[' || c == L']' || c == L'{' || c == L'}')
            literal += {L'[', L'\\', c, L']'};
        else
            literal += c;
    }
    return literal;
}
