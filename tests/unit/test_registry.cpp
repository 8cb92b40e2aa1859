// mGeneral against Wine's real registry. Each test makes and removes its own
// key under HKCU\Software\TavrelTests.
#include "registry/mGeneral.h"

#include <doctest/doctest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/handle.h"
#include "support/registry.h"

using mGeneral::RegistryValue;

namespace {

constexpr char kTestsPath[] = "Software\\TavrelTests";

std::string Describe(const RegistryValue& value) {
    switch (value.GetKind()) {
        case RegistryValue::Kind::Empty:
            return "Empty";
        case RegistryValue::Kind::Integer:
            return "Integer " + std::to_string(value.Integer());
        case RegistryValue::Kind::Long:
            return "Long " + std::to_string(value.Long());
        case RegistryValue::Kind::Text: {
            const std::string& text = value.Text();
            if (text.size() <= 60) return "Text \"" + text + "\"";
            return "Text of " + std::to_string(text.size()) + " bytes \"" + text.substr(0, 40) +
                   "...\"";
        }
        case RegistryValue::Kind::Boolean:
            return "Boolean " + std::to_string(value.BooleanForm());
        case RegistryValue::Kind::Other:
            return "Other";
    }
    return "?";
}

// doctest cannot print vectors; a joined list shows what was got.
std::string Joined(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) joined += (joined.empty() ? "" : "|") + item;
    return joined;
}

std::string Joined(const std::vector<mGeneral::ValueRow>& rows) {
    std::vector<std::string> items;
    for (const auto& row : rows) items.push_back(row.type + " " + row.name);
    return Joined(items);
}

// Long names shown as their letter and length, e.g. "n*3000".
std::string Abbreviated(const std::vector<std::string>& names) {
    std::vector<std::string> shown;
    for (const std::string& name : names) {
        bool oneLetter = name.find_first_not_of(name.empty() ? ' ' : name[0]) == std::string::npos;
        shown.push_back(name.size() > 20 && oneLetter
                            ? name.substr(0, 1) + "*" + std::to_string(name.size())
                            : name.substr(0, 20));
    }
    return Joined(shown);
}

std::vector<std::string> Sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return items;
}

bool DeleteTree(HKEY parent, const std::string& path) {
    return support::DeleteTree(parent, std::wstring(path.begin(), path.end()));
}

// A test's own key, gone before the test (after an aborted run) and after it.
class ScratchKey {
public:
    explicit ScratchKey(const std::string& leaf) : path_(std::string(kTestsPath) + "\\" + leaf) {
        DeleteTree(HKEY_CURRENT_USER, path_);
    }
    ~ScratchKey() {
        DeleteTree(HKEY_CURRENT_USER, path_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestsPath);  // fails while other tests' keys are there
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    const std::string& Path() const { return path_; }

    base::KeyHandle Create() const {
        base::KeyHandle key;
        REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, key.Put(), nullptr) == ERROR_SUCCESS);
        return key;
    }

    bool Exists(const std::string& below = "") const {
        std::string path = below.empty() ? path_ : path_ + "\\" + below;
        base::KeyHandle key;
        return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Put()) ==
               ERROR_SUCCESS;
    }

private:
    std::string path_;
};

// Writes exactly these bytes: RegSetValueEx adds a NUL to string data when
// the byte after it is 0, so a non-zero byte follows them.
void PutRaw(HKEY key, const std::string& name, DWORD type, const std::string& bytes) {
    std::string padded = bytes + 'x';
    REQUIRE(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(padded.data()),
                           static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS);
}

void PutDword(HKEY key, const std::string& name, DWORD number) {
    REQUIRE(RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof number) == ERROR_SUCCESS);
}

// What the registry holds, as "type: bytes in hex", read with a buffer of
// exactly the size it reports.
std::string Stored(const std::string& path, const std::string& name) {
    base::KeyHandle key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return "no key";
    DWORD type = 0, size = 0;
    LONG result = RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS) return "no value (" + std::to_string(result) + ")";
    std::vector<BYTE> data(size + 1);
    result = RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, data.data(), &size);
    if (result != ERROR_SUCCESS) return "unreadable (" + std::to_string(result) + ")";
    std::string text = std::to_string(type) + ":";
    for (DWORD i = 0; i < size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", data[i]);
        text += hex;
    }
    return text;
}

std::string KeyClass(const std::string& path) {
    base::KeyHandle key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return "no key";
    char keyClass[64] = {};
    DWORD length = sizeof keyClass;
    if (RegQueryInfoKeyA(key.Get(), keyClass, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return "no class";
    return std::string(keyClass, length);
}

}  // namespace

namespace doctest {
template <>
struct StringMaker<RegistryValue> {
    static String convert(const RegistryValue& value) { return Describe(value).c_str(); }
};
}  // namespace doctest

TEST_CASE("a key that cannot be opened is handle 0, and every call on it quietly does nothing") {
    ScratchKey scratch("Missing");
    const std::string& path = scratch.Path();

    CHECK(mGeneral::OpenKey(HKEY_CURRENT_USER, path) == nullptr);
    // Every enumeration call fails on handle 0: the list must end, empty.
    CHECK(Joined(mGeneral::ListValues(nullptr)) == "");
    CHECK(mGeneral::ReadKeyValue(nullptr, "a") == RegistryValue());
    CHECK(mGeneral::SetKeyValue(nullptr, "a", RegistryValue::FromLong(1)) == "");
    CHECK_FALSE(mGeneral::CloseKey(nullptr));

    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "a") == RegistryValue());
    CHECK(Joined(mGeneral::GetValueNames(HKEY_CURRENT_USER, path)) == "");
    mGeneral::RemoveValue(HKEY_CURRENT_USER, path, "a");
    CHECK_FALSE(scratch.Exists());  // none of these created it
}

TEST_CASE("CreateKey makes or opens a key, OpenKey opens it, CloseKey closes either") {
    ScratchKey scratch("Keys");

    HKEY created = mGeneral::CreateKey(HKEY_CURRENT_USER, scratch.Path());
    REQUIRE(created != nullptr);
    CHECK(Joined(mGeneral::ListValues(created)) == "");
    PutDword(created, "kept", 9);
    CHECK(mGeneral::CloseKey(created));

    HKEY again = mGeneral::CreateKey(HKEY_CURRENT_USER, scratch.Path());
    REQUIRE(again != nullptr);
    CHECK(mGeneral::ReadKeyValue(again, "kept") == RegistryValue::FromLong(9));
    CHECK(mGeneral::CloseKey(again));

    HKEY opened = mGeneral::OpenKey(HKEY_CURRENT_USER, scratch.Path());
    REQUIRE(opened != nullptr);
    CHECK(Joined(mGeneral::ListValues(opened)) == "4 kept");
    CHECK(mGeneral::CloseKey(opened));
}

TEST_CASE("an empty key lists no values and no names") {
    ScratchKey scratch("Empty");
    scratch.Create();
    CHECK(Joined(mGeneral::GetValueNames(HKEY_CURRENT_USER, scratch.Path())) == "");
    base::KeyHandle key(mGeneral::OpenKey(HKEY_CURRENT_USER, scratch.Path()));
    CHECK(Joined(mGeneral::ListValues(key.Get())) == "");
}

TEST_CASE("values a, b and c list with their type numbers and names") {
    ScratchKey scratch("Three");
    {
        base::KeyHandle key = scratch.Create();
        PutRaw(key.Get(), "a", REG_SZ, std::string("x\0", 2));
        PutDword(key.Get(), "b", 1);
        PutRaw(key.Get(), "c", REG_BINARY, "\x01");
        CHECK(Joined(mGeneral::ListValues(key.Get())) == "1 a|4 b|3 c");
    }
    CHECK(Joined(mGeneral::GetValueNames(HKEY_CURRENT_USER, scratch.Path())) == "a|b|c");
}

TEST_CASE("the key's default value lists with the empty name") {
    ScratchKey scratch("Default");
    {
        base::KeyHandle key = scratch.Create();
        PutRaw(key.Get(), "", REG_SZ, std::string("d\0", 2));
        CHECK(Joined(mGeneral::ListValues(key.Get())) == "1 ");
    }
    std::vector<std::string> names = mGeneral::GetValueNames(HKEY_CURRENT_USER, scratch.Path());
    CHECK(names.size() == 1);
    CHECK(Joined(names) == "");
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, scratch.Path(), "") ==
          RegistryValue::FromText("d"));
}

TEST_CASE("GetValue finds a value whatever the letter case of the name asked for") {
    ScratchKey scratch("Case");
    {
        base::KeyHandle key = scratch.Create();
        PutDword(key.Get(), "MixedCase", 7);
        PutRaw(key.Get(), "TextName", REG_SZ, std::string("t\0", 2));
        PutRaw(key.Get(), "\xC4rger", REG_BINARY, "\x01");  // A with diaeresis in code page 1252
    }
    const std::string& path = scratch.Path();
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "mixedcase") == RegistryValue::FromLong(7));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "MIXEDCASE") == RegistryValue::FromLong(7));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "tEXTnAME") == RegistryValue::FromText("t"));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "MixedCas") == RegistryValue());
    if (GetACP() == 1252) {
        CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "\xE4RGER") ==
              RegistryValue::FromBooleanForm(1));
    } else {
        MESSAGE("ANSI code page " << GetACP() << ": the accented-name case is not checked");
    }
}

TEST_CASE("REG_SZ data reads without its terminator, whatever its length") {
    ScratchKey scratch("Text");
    {
        base::KeyHandle key = scratch.Create();
        PutRaw(key.Get(), "terminated", REG_SZ, std::string("abc\0", 4));
        PutRaw(key.Get(), "unterminated", REG_SZ, "abc");
        PutRaw(key.Get(), "nothing", REG_SZ, "");
        PutRaw(key.Get(), "long", REG_SZ, std::string(4999, 'L') + '\0');
    }
    const std::string& path = scratch.Path();
    REQUIRE(Stored(path, "unterminated") == "1: 61 62 63");
    REQUIRE(Stored(path, "nothing") == "1:");

    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "terminated") ==
          RegistryValue::FromText("abc"));
    // Without a terminator the last character is lost; that is how it has always read.
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "unterminated") ==
          RegistryValue::FromText("ab"));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "nothing") == RegistryValue::FromText(""));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "long") ==
          RegistryValue::FromText(std::string(4999, 'L')));
}

TEST_CASE("only REG_SZ, REG_DWORD and REG_BINARY values are read") {
    ScratchKey scratch("Types");
    {
        base::KeyHandle key = scratch.Create();
        PutRaw(key.Get(), "expand", REG_EXPAND_SZ, std::string("%TEMP%\0", 7));
        PutRaw(key.Get(), "multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
        PutRaw(key.Get(), "qword", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8));
        PutRaw(key.Get(), "none", REG_NONE, "\x01");
        PutRaw(key.Get(), "dword", REG_DWORD, "\xFE\xFF\xFF\xFF");
        PutRaw(key.Get(), "short dword", REG_DWORD, "\x05\x01");
        PutRaw(key.Get(), "true", REG_BINARY, "\xFF");
        PutRaw(key.Get(), "three bytes", REG_BINARY, "\x01\x02\x03");
        PutRaw(key.Get(), "no bytes", REG_BINARY, "");
    }
    auto get = [&](const char* name) {
        return mGeneral::GetValue(HKEY_CURRENT_USER, scratch.Path(), name);
    };
    CHECK(get("missing") == RegistryValue());
    CHECK(get("expand") == RegistryValue());
    CHECK(get("multi") == RegistryValue());
    CHECK(get("qword") == RegistryValue());
    CHECK(get("none") == RegistryValue());

    CHECK(get("dword") == RegistryValue::FromLong(-2));
    CHECK(get("short dword") == RegistryValue::FromLong(0x105));
    // The byte is zero-extended: FF reads as 0x00FF, true but not -1.
    RegistryValue truth = get("true");
    CHECK(truth == RegistryValue::FromBooleanForm(0xFF));
    CHECK(truth.IsTrue());
    CHECK(get("three bytes") == RegistryValue::FromBooleanForm(1));
    CHECK(get("no bytes") == RegistryValue::FromBooleanForm(0));
}

TEST_CASE("WriteValue stores numbers as a little-endian REG_DWORD") {
    ScratchKey scratch("Numbers");
    const std::string& path = scratch.Path();
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "long", RegistryValue::FromLong(258));
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "minus one", RegistryValue::FromInteger(-1));
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "lowest", RegistryValue::FromLong(INT32_MIN));
    CHECK(Stored(path, "long") == "4: 02 01 00 00");
    CHECK(Stored(path, "minus one") == "4: ff ff ff ff");
    CHECK(Stored(path, "lowest") == "4: 00 00 00 80");
    // Every REG_DWORD reads back as a Long, an Integer's included.
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "long") == RegistryValue::FromLong(258));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "minus one") == RegistryValue::FromLong(-1));
}

TEST_CASE("WriteValue stores text as REG_SZ with one NUL after it") {
    ScratchKey scratch("Strings");
    const std::string& path = scratch.Path();
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "abc", RegistryValue::FromText("abc"));
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "empty", RegistryValue::FromText(""));
    CHECK(Stored(path, "abc") == "1: 61 62 63 00");
    CHECK(Stored(path, "empty") == "1: 00");
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "abc") == RegistryValue::FromText("abc"));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "empty") == RegistryValue::FromText(""));
}

TEST_CASE("WriteValue stores a Boolean as one REG_BINARY byte that survives a read and rewrite") {
    ScratchKey scratch("Booleans");
    const std::string& path = scratch.Path();
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "on", RegistryValue::FromBoolean(true));
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "off", RegistryValue::FromBoolean(false));
    CHECK(RegistryValue::FromBoolean(true).BooleanForm() == -1);
    CHECK(Stored(path, "on") == "3: ff");
    CHECK(Stored(path, "off") == "3: 00");

    for (const char* name : {"on", "off"}) {
        CAPTURE(name);
        RegistryValue read = mGeneral::GetValue(HKEY_CURRENT_USER, path, name);
        std::string before = Stored(path, name);
        mGeneral::WriteValue(HKEY_CURRENT_USER, path, name, read);
        CHECK(Stored(path, name) == before);
    }
}

TEST_CASE("WriteValue replaces a value of the same name, type included") {
    ScratchKey scratch("Replace");
    const std::string& path = scratch.Path();
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "v", RegistryValue::FromLong(1));
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "V", RegistryValue::FromText("x"));
    CHECK(Stored(path, "v") == "1: 78 00");
    CHECK(Joined(mGeneral::GetValueNames(HKEY_CURRENT_USER, path)) == "v");
}

TEST_CASE("Empty and Other values write nothing, yet the key is still created") {
    ScratchKey scratch("Unsupported");
    const std::string& path = scratch.Path();
    CHECK(mGeneral::SetKeyValue(nullptr, "x", RegistryValue()) == "Unsupported value type");
    CHECK(mGeneral::SetKeyValue(nullptr, "x", RegistryValue::Other()) == "Unsupported value type");

    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "empty", RegistryValue());
    REQUIRE(scratch.Exists());
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "other", RegistryValue::Other());
    CHECK(Joined(mGeneral::GetValueNames(HKEY_CURRENT_USER, path)) == "");

    // Nor do they disturb a value already there.
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "kept", RegistryValue::FromLong(3));
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "kept", RegistryValue());
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "kept", RegistryValue::Other());
    CHECK(Stored(path, "kept") == "4: 03 00 00 00");
}

TEST_CASE("WriteValue into a missing path creates it and its parents with the class 1") {
    ScratchKey scratch("Created");
    const std::string leaf = scratch.Path() + "\\Parent\\Child";
    REQUIRE_FALSE(scratch.Exists());
    mGeneral::WriteValue(HKEY_CURRENT_USER, leaf, "v", RegistryValue::FromLong(1));
    CHECK(Stored(leaf, "v") == "4: 01 00 00 00");
    CHECK(KeyClass(scratch.Path()) == "1");
    CHECK(KeyClass(scratch.Path() + "\\Parent") == "1");
    CHECK(KeyClass(leaf) == "1");
}

TEST_CASE("RemoveValue deletes one value and is harmless when it is not there") {
    ScratchKey scratch("Remove");
    const std::string& path = scratch.Path();
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "a", RegistryValue::FromLong(1));
    mGeneral::WriteValue(HKEY_CURRENT_USER, path, "b", RegistryValue::FromLong(2));
    mGeneral::RemoveValue(HKEY_CURRENT_USER, path, "A");
    CHECK(Joined(mGeneral::GetValueNames(HKEY_CURRENT_USER, path)) == "b");
    mGeneral::RemoveValue(HKEY_CURRENT_USER, path, "a");
    CHECK(Joined(mGeneral::GetValueNames(HKEY_CURRENT_USER, path)) == "b");
    CHECK(Stored(path, "b") == "4: 02 00 00 00");
}

TEST_CASE("value names too long for the 2000-character buffer list whole among the others") {
    ScratchKey scratch("LongNames");
    const std::string longName(3000, 'n');
    const std::string longest(16383, 'm');  // the registry's own limit
    {
        base::KeyHandle key = scratch.Create();
        PutDword(key.Get(), "a", 1);
        PutDword(key.Get(), longName, 5);
        PutRaw(key.Get(), longest, REG_SZ, std::string("whole\0", 6));
        PutDword(key.Get(), "z", 26);
    }
    const std::string& path = scratch.Path();
    CHECK(Abbreviated(Sorted(mGeneral::GetValueNames(HKEY_CURRENT_USER, path))) ==
          "a|m*16383|n*3000|z");

    std::string upper(3000, 'N');
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, upper) == RegistryValue::FromLong(5));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, longest) == RegistryValue::FromText("whole"));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, path, "z") == RegistryValue::FromLong(26));
}

TEST_CASE("a key with more than 32,767 values lists every name") {
    constexpr int kCount = 33000;
    ScratchKey scratch("Many");
    std::vector<std::string> expected;
    DWORD began = GetTickCount();
    {
        base::KeyHandle key = scratch.Create();
        char name[16];
        for (int i = 0; i < kCount; ++i) {
            std::snprintf(name, sizeof name, "v%05d", i);
            expected.push_back(name);
            DWORD number = static_cast<DWORD>(i);
            RegSetValueExA(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof number);
        }
    }
    DWORD listing = GetTickCount();
    std::vector<std::string> names = mGeneral::GetValueNames(HKEY_CURRENT_USER, scratch.Path());
    RegistryValue last = mGeneral::GetValue(HKEY_CURRENT_USER, scratch.Path(), "V32999");
    DWORD done = GetTickCount();
    MESSAGE("writing " << kCount << " values took " << listing - began
                       << " ms; listing them and one read, " << done - listing << " ms");

    CHECK(names.size() == static_cast<size_t>(kCount));
    std::vector<std::string> sorted = Sorted(names);
    auto off = std::mismatch(sorted.begin(), sorted.end(), expected.begin(), expected.end());
    CHECK((off.first == sorted.end() ? std::string("none") : *off.first) == "none");
    CHECK(last == RegistryValue::FromLong(32999));
}
