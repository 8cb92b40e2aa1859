// The status listing renders whatever a start-up entry holds as one short,
// printable line, and no entry's line can pass for another's.
#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <string>

#include "startup/StartupStatus.h"
#include "support/json.h"
#include "support/runkeys.h"
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
        {REG_EXPAND_SZ, support::Bytes(L"%x%\t\x1b\n", false), "REG_EXPAND_SZ \"%x%\\t\\x1B\\n\""},
        {REG_SZ, support::Bytes(std::wstring(L"shown\0hidden", 12)),
         "REG_SZ \"shown\" (then, after a NUL: \"hidden\")"},
        // Text that reorders, joins or hides, and halves of a character.
        {REG_SZ, support::Bytes(L"a\u202Eb\u2066\u200B\uFEFF\xD800" L"c\xDC00\U0001F600"),
         "REG_SZ \"a\\u202Eb\\u2066\\u200B\\uFEFF\\uD800c\\uDC00\U0001F600\""},
        {REG_SZ, oddLength, "REG_SZ \"ab\" (and an odd byte)"},
        {REG_SZ, support::Bytes(std::wstring(200, L'x')),
         "REG_SZ \"" + std::string(160, 'x') + "\"... (200 characters)"},
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

TEST_CASE("each start-up entry gets one line that no other entry can print, and JSON in ASCII") {
    struct Row {
        const char* rule;
        std::wstring name, data, line;
    };
    const std::wstring d159(159, L'd'), n200(200, L'n');
    const Row rows[] = {
        {"a name is quoted", L"Tool", L"C:\\t.exe", L"\"Tool\" = REG_SZ \"C:\\\\t.exe\""},
        {"quotes and backslashes are escaped", L"a\" = REG_SZ \"\\", L"x",
         L"\"a\\\" = REG_SZ \\\"\\\\\" = REG_SZ \"x\""},
        {"the unnamed value is spelled as no name can be", L"", L"u", L"(default) = REG_SZ \"u\""},
        {"a value named (default) is quoted", L"(default)", L"v", L"\"(default)\" = REG_SZ \"v\""},
        {"a word joiner inside a name is escaped", L"Up\u2060date", L"w",
         L"\"Up\\u2060date\" = REG_SZ \"w\""},
        {"a long name is never cut", n200, L"n", L"\"" + n200 + L"\" = REG_SZ \"n\""},
        {"data is cut before a pair, with its whole length", L"Long", d159 + L"\U0001F600tail",
         L"\"Long\" = REG_SZ \"" + d159 + L"\"... (165 characters)"},
        {"beyond ASCII, and a lone half", L"\u8D77\U0001F600", L"\xD800\uFE0F",
         L"\"\u8D77\U0001F600\" = REG_SZ \"\\uD800\\uFE0F\""},
    };
    support::Values planted;
    for (const Row& row : rows) planted[row.name] = {REG_SZ, support::Bytes(row.data)};
    support::Put(HKEY_CURRENT_USER, support::kRun, planted);
    struct Removed {
        const support::Values& values;
        ~Removed() {
            HKEY key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, support::kRun, 0, KEY_SET_VALUE, &key)) return;
            for (auto& entry : values) RegDeleteValueW(key, entry.first.c_str());
            RegCloseKey(key);
        }
    } removed{planted};

    const std::wstring listed = DescribeStartupEntries(), json = DescribeStartupEntriesJson();
    INFO("listed: ", Narrow(listed));
    CHECK(std::all_of(json.begin(), json.end(), [](wchar_t c) { return c <= 0x7E; }));
    const support::Json root = support::JsonReader(json).Read();
    std::map<std::wstring, std::wstring> read;
    for (const support::Json& key : root[L"keys"].items)
        if (key[L"place"].text == L"HKCU" && key[L"key"].text == support::kRun)
            for (const support::Json& entry : key[L"entries"].items)
                read[entry[L"name"].text] = entry[L"data"].text;
    for (const Row& row : rows) {
        INFO(row.rule);
        CHECK(listed.find(L"\n  " + row.line + L"\n") != std::wstring::npos);
        CHECK(read[row.name] == row.data);
    }
}
