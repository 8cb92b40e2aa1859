#pragma once
// Text from the registry or from a record, shown so that no two texts print
// alike and none can hide, reorder or break what is around it.
#include <string>
#include <string_view>

namespace base {

// `text` between double quotes, with `"` and `\` backslashed and every
// character that prints nothing or changes how the text around it reads
// (the Unicode classes in unseen.h, and halves of a character) escaped:
// \t \n \r \0, then \xHH, \uHHHH or \UHHHHHHHH by the code point's size.
std::wstring Quoted(std::wstring_view text);

// A JSON string in pure ASCII: everything outside U+0020..U+007E is a \u
// escape, a pair's halves each its own, so that it reads back exactly
// whatever code page carries it.
std::wstring JsonString(std::wstring_view text);

}  // namespace base
