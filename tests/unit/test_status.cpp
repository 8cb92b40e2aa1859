// The status listing renders whatever a start-up entry holds as one short,
// printable line.
#include <doctest/doctest.h>

#include <string>

#include "startup/StartupStatus.h"
#include "support/standins.h"
#include "support/values.h"

using support::Narrow;

TEST_CASE("a start-up entry's data renders short and printable, whatever its type and bytes") {
    auto bytes = [](std::initializer_list<int> list) {
        std::vector<BYTE> out;
        for (int b : list) out.push_back(static_cast<BYTE>(b));
        return out;
    };
    std::vector<BYTE> oddLength = support::Bytes(L"ab", false);
    oddLength.push_back('c');
    struct Case {
        DWORD type;
        std::vector<BYTE> data;
        std::string shown;
    };
    const Case cases[] = {
        {REG_SZ, support::Bytes(L"C:\\a.exe"), "REG_SZ \"C:\\\\a.exe\""},
        {REG_EXPAND_SZ, support::Bytes(L"%x%\t\x1b\n", false), "REG_EXPAND_SZ \"%x%\\t\\x1b\\n\""},
        {REG_SZ, support::Bytes(std::wstring(L"shown\0hidden", 12)),
         "REG_SZ \"shown\" (then, after a NUL: \"hidden\")"},
        // Text that reorders, joins or hides, and halves of a character.
        {REG_SZ, support::Bytes(L"a\u202Eb\u2066\u200B\uFEFF\xD800" L"c\xDC00\U0001F600"),
         "REG_SZ \"a\\u202Eb\\u2066\\u200B\\uFEFF\\uD800c\\uDC00\U0001F600\""},
        {REG_SZ, oddLength, "REG_SZ \"ab\" (and an odd byte)"},
        {REG_SZ, support::Bytes(std::wstring(200, L'x')),
         "REG_SZ \"" + std::string(160, 'x') + "...\""},
        {REG_MULTI_SZ, support::Bytes(std::wstring(L"a\0b\0", 4)), "REG_MULTI_SZ \"a\\0b\""},
        {REG_DWORD, bytes({0x44, 0, 0, 0}), "REG_DWORD 68"},
        {REG_DWORD_BIG_ENDIAN, bytes({0, 0, 5, 0xDC}), "REG_DWORD_BIG_ENDIAN 1500"},
        {REG_QWORD, bytes({0, 0, 0, 0, 1, 0, 0, 0}), "REG_QWORD 4294967296"},
        {REG_DWORD, bytes({1, 2}), "REG_DWORD 01 02 (2 bytes)"},
        {REG_BINARY, {}, "REG_BINARY (0 bytes)"},
        {REG_BINARY, std::vector<BYTE>(20, 0xAB),
         "REG_BINARY ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ... (20 bytes)"},
        {99, bytes({7}), "type 99 07 (1 byte)"},
    };
    for (const Case& c : cases) {
        INFO("expected: ", c.shown);
        mGeneral::ExactValue value{L"x", c.type, c.data};
        CHECK(Narrow(RenderValue(value)) == c.shown);
    }
}
