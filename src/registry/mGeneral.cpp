#include "registry/mGeneral.h"

#include <algorithm>

#include "base/handle.h"

namespace mGeneral {
namespace {

constexpr DWORD kNameChars = 2000;
constexpr DWORD kTextBytes = 2048;
// A value name runs to 16,383 characters; in a double-byte code page its ANSI
// form can take twice as many bytes.
constexpr size_t kLongestNameBytes = 2 * 16384;
// A value that changes between the size query and the read gets this many tries.
constexpr int kReadTries = 4;

struct ListedValue {
    DWORD index;  // the value's own enumeration index, for the reads by index
    DWORD type;
    std::string name;
};

// Room for the longest value name of the key, 0 when the key cannot say.
size_t NameRoom(HKEY key) {
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return 2 * (static_cast<size_t>(longest) + 1);
}

std::vector<ListedValue> Enumerate(HKEY key) {
    std::vector<ListedValue> values;
    std::vector<char> name(kNameChars);
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0, dataLength = kNameChars;
        LONG result = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, nullptr,
                                    &dataLength);
        if (result == ERROR_SUCCESS) {
            values.push_back({index, type, std::string(name.data(), nameLength)});
            ++index;
        } else if (result == ERROR_MORE_DATA) {
            // The name did not fit and came back cut short: read the same index
            // again with room for the key's longest name, or skip a name no
            // buffer holds rather than list a stump of it.
            if (name.size() >= kLongestNameBytes) {
                ++index;
                continue;
            }
            name.resize(std::min(std::max(NameRoom(key), name.size() * 2), kLongestNameBytes));
        } else {
            // ERROR_NO_MORE_ITEMS ends the list; any other failure (handle 0
            // after a failed open) would fail for every index alike.
            break;
        }
    }
    return values;
}

std::string Lower(std::string text) {
    if (!text.empty()) CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool ReadText(HKEY key, const std::string& name, std::string& text) {
    // Sized from the registry, so that text longer than 2048 bytes reads whole.
    DWORD length = 0;
    RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &length);
    std::vector<BYTE> data(std::max(length, kTextBytes));
    for (int tries = 0; tries < kReadTries; ++tries) {
        DWORD type = 0;
        length = static_cast<DWORD>(data.size());
        LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &length);
        if (result == ERROR_MORE_DATA) {
            data.resize(std::max<size_t>(length, data.size() * 2));
            continue;
        }
        if (result != ERROR_SUCCESS) return false;
        // The last byte is taken for the terminator, even when the data has
        // none; empty data has no byte to give.
        size_t kept = length > 0 ? std::min<size_t>(length - 1, data.size()) : 0;
        text.assign(reinterpret_cast<const char*>(data.data()), kept);
        return true;
    }
    return false;
}

// Reads by enumeration index, as the value was listed; `data` starts at the
// usual size for its type and grows when the value holds more.
bool ReadAtIndex(HKEY key, const ListedValue& value, DWORD firstSize, std::vector<BYTE>& data) {
    data.assign(firstSize, 0);
    for (int tries = 0; tries < kReadTries; ++tries) {
        std::vector<char> name(value.name.begin(), value.name.end());
        name.push_back('\0');
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0;
        DWORD length = static_cast<DWORD>(data.size());
        LONG result = RegEnumValueA(key, value.index, name.data(), &nameLength, nullptr, &type,
                                    data.data(), &length);
        if (result == ERROR_MORE_DATA && length > data.size()) {
            data.assign(length, 0);
            continue;
        }
        if (result != ERROR_SUCCESS) return false;
        data.resize(std::min<size_t>(length, data.size()));
        return true;
    }
    return false;
}

}  // namespace

HKEY OpenKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

HKEY CreateKey(HKEY root, const std::string& path) {
    char keyClass[] = "1";
    SECURITY_ATTRIBUTES security{};
    security.nLength = 50;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = 0x0000FFFF;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, path.c_str(), 0, keyClass, 0, KEY_ALL_ACCESS, &security, &key,
                        &disposition) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool CloseKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }

std::string SetKeyValue(HKEY key, const std::string& name, const RegistryValue& value) {
    switch (value.GetKind()) {
        case RegistryValue::Kind::Integer:
        case RegistryValue::Kind::Long: {
            auto bits = static_cast<uint32_t>(value.GetKind() == RegistryValue::Kind::Integer
                                                  ? int32_t{value.Integer()}
                                                  : value.Long());
            const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8),
                                  static_cast<BYTE>(bits >> 16), static_cast<BYTE>(bits >> 24)};
            RegSetValueExA(key, name.c_str(), 0, REG_DWORD, data, sizeof data);
            return "";
        }
        case RegistryValue::Kind::Text: {
            const std::string& text = value.Text();
            RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
            return "";
        }
        case RegistryValue::Kind::Boolean: {
            const BYTE data = static_cast<BYTE>(value.BooleanForm() & 0xFF);
            RegSetValueExA(key, name.c_str(), 0, REG_BINARY, &data, 1);
            return "";
        }
        case RegistryValue::Kind::Empty:
        case RegistryValue::Kind::Other:
            break;
    }
    return "Unsupported value type";
}

std::vector<ValueRow> ListValues(HKEY key) {
    std::vector<ValueRow> rows;
    for (ListedValue& value : Enumerate(key))
        rows.push_back({std::to_string(value.type), std::move(value.name)});
    return rows;
}

RegistryValue ReadKeyValue(HKEY key, const std::string& name) {
    const std::string wanted = Lower(name);
    for (const ListedValue& value : Enumerate(key)) {
        if (Lower(value.name) != wanted) continue;
        std::vector<BYTE> data;
        switch (value.type) {
            case REG_SZ: {
                std::string text;
                if (!ReadText(key, value.name, text)) return {};
                return RegistryValue::FromText(std::move(text));
            }
            case REG_DWORD: {
                if (!ReadAtIndex(key, value, 4, data)) return {};
                uint32_t bits = 0;
                for (size_t i = 0; i < 4 && i < data.size(); ++i)
                    bits |= uint32_t{data[i]} << (8 * i);
                return RegistryValue::FromLong(static_cast<int32_t>(bits));
            }
            case REG_BINARY:
                if (!ReadAtIndex(key, value, 1, data)) return {};
                return RegistryValue::FromBooleanForm(data.empty() ? 0 : int16_t{data[0]});
            default:
                break;  // a type we do not read; a later name may still match
        }
    }
    return {};
}

void WriteValue(HKEY root, const std::string& path, const std::string& name,
                const RegistryValue& value) {
    base::KeyHandle key(CreateKey(root, path));
    SetKeyValue(key.Get(), name, value);
}

RegistryValue GetValue(HKEY root, const std::string& path, const std::string& name) {
    base::KeyHandle key(OpenKey(root, path));
    return ReadKeyValue(key.Get(), name);
}

void RemoveValue(HKEY root, const std::string& path, const std::string& name) {
    base::KeyHandle key(OpenKey(root, path));
    RegDeleteValueA(key.Get(), name.c_str());
}

std::vector<std::string> GetValueNames(HKEY root, const std::string& path) {
    base::KeyHandle key(OpenKey(root, path));
    std::vector<std::string> names;
    for (ValueRow& row : ListValues(key.Get())) names.push_back(std::move(row.name));
    return names;
}

}  // namespace mGeneral
