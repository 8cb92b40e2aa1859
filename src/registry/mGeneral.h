#pragma once
// The general registry helpers: open, create and close keys, and write, read,
// delete and list typed values. All texts are ANSI and go through the A calls.
// Nothing is reported: a key that cannot be opened is handle 0, and every
// later call on it quietly does nothing.
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mGeneral {

// A value as the program holds it. Only Integer, Long, Text and Boolean have a
// registry form; Other stands for every kind that has none (floating point,
// dates and the like).
class RegistryValue {
public:
    enum class Kind { Empty, Integer, Long, Text, Boolean, Other };

    RegistryValue() = default;  // Empty

    static RegistryValue Empty() { return RegistryValue(); }
    static RegistryValue FromInteger(int16_t number) { return {Kind::Integer, number, {}}; }
    static RegistryValue FromLong(int32_t number) { return {Kind::Long, number, {}}; }
    static RegistryValue FromText(std::string ansi) { return {Kind::Text, 0, std::move(ansi)}; }
    // True is -1 (all 16 bits set), false 0.
    static RegistryValue FromBoolean(bool truth) { return {Kind::Boolean, truth ? -1 : 0, {}}; }
    // A Boolean's raw 16-bit form, as a registry read gives it (0x00FF for FF).
    static RegistryValue FromBooleanForm(int16_t form) { return {Kind::Boolean, form, {}}; }
    static RegistryValue Other() { return {Kind::Other, 0, {}}; }

    Kind GetKind() const { return kind_; }
    bool IsEmpty() const { return kind_ == Kind::Empty; }

    // Each accessor gives 0 or "" for a value of another kind.
    int16_t Integer() const { return kind_ == Kind::Integer ? static_cast<int16_t>(number_) : 0; }
    int32_t Long() const { return kind_ == Kind::Long ? number_ : 0; }
    const std::string& Text() const { return text_; }
    int16_t BooleanForm() const {
        return kind_ == Kind::Boolean ? static_cast<int16_t>(number_) : 0;
    }
    bool IsTrue() const { return BooleanForm() != 0; }

    friend bool operator==(const RegistryValue& a, const RegistryValue& b) {
        return a.kind_ == b.kind_ && a.number_ == b.number_ && a.text_ == b.text_;
    }
    friend bool operator!=(const RegistryValue& a, const RegistryValue& b) { return !(a == b); }

private:
    RegistryValue(Kind kind, int32_t number, std::string text)
        : kind_(kind), number_(number), text_(std::move(text)) {}

    Kind kind_ = Kind::Empty;
    int32_t number_ = 0;  // Integer, Long and the Boolean's 16-bit form
    std::string text_;
};

// One value of a key: its registry type number in decimal ("1" for REG_SZ)
// and its name ("" for the key's default value).
struct ValueRow {
    std::string type;
    std::string name;
};

// Handles: nullptr when the open or create failed.
HKEY OpenKey(HKEY root, const std::string& path);
HKEY CreateKey(HKEY root, const std::string& path);
bool CloseKey(HKEY key);

// "" when written, "Unsupported value type" for Empty and Other.
std::string SetKeyValue(HKEY key, const std::string& name, const RegistryValue& value);

// Rows in the order the registry enumerates them.
std::vector<ValueRow> ListValues(HKEY key);

// The first value whose name matches regardless of case; Empty when there is
// none, its type is not REG_SZ, REG_DWORD or REG_BINARY, or it cannot be read.
RegistryValue ReadKeyValue(HKEY key, const std::string& name);

// Creates the key and its missing parents as needed.
void WriteValue(HKEY root, const std::string& path, const std::string& name,
                const RegistryValue& value);
RegistryValue GetValue(HKEY root, const std::string& path, const std::string& name);
void RemoveValue(HKEY root, const std::string& path, const std::string& name);
std::vector<std::string> GetValueNames(HKEY root, const std::string& path);

}  // namespace mGeneral
