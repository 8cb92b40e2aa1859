#pragma once
// Just enough of a JSON reader to read the program's output back exactly:
// strings keep every UTF-16 code unit their \u escapes give, lone
// surrogates included. Anything malformed reads as nothing (kind kBad).
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace support {

struct Json {
    enum Kind { kBad, kNull, kBool, kNumber, kString, kArray, kObject } kind = kBad;
    bool boolean = false;
    unsigned long long number = 0;  // whole, non-negative numbers are all it writes
    std::wstring text;
    std::vector<Json> items;
    std::vector<std::pair<std::wstring, Json>> members;

    const Json& operator[](const wchar_t* name) const {
        static const Json none;
        for (auto& member : members)
            if (member.first == name) return member.second;
        return none;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::wstring& text) : s_(text) {}

    // The whole text as one value; kBad if anything is off.
    Json Read() {
        Json value = Value();
        Space();
        return at_ == s_.size() ? value : Json{};
    }

private:
    void Space() {
        while (at_ < s_.size() && (s_[at_] == L' ' || s_[at_] == L'\n' || s_[at_] == L'\r' ||
                                   s_[at_] == L'\t'))
            ++at_;
    }
    bool Eat(const wchar_t* word) {
        size_t n = lstrlenW(word);
        if (s_.compare(at_, n, word) != 0) return false;
        at_ += n;
        return true;
    }
    bool String(std::wstring& out) {
        if (!Eat(L"\"")) return false;
        while (at_ < s_.size() && s_[at_] != L'"') {
            wchar_t c = s_[at_++];
            if (c < 0x20) return false;
            if (c != L'\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size()) return false;
            c = s_[at_++];
            const wchar_t* simple = wcschr(L"\"\\/bfnrt", c);
            if (simple && c) {
                out += L"\"\\/\b\f\n\r\t"[simple - L"\"\\/bfnrt"];
            } else if (c == L'u' && at_ + 4 <= s_.size()) {
                unsigned unit = 0;
                for (int i = 0; i < 4; ++i) {
                    wchar_t h = s_[at_++];
                    unit = unit * 16 + (h >= L'0' && h <= L'9'   ? h - L'0'
                                        : h >= L'a' && h <= L'f' ? h - L'a' + 10
                                        : h >= L'A' && h <= L'F' ? h - L'A' + 10
                                                                 : 99);
                    if (unit > 0xFFFF) return false;
                }
                out += static_cast<wchar_t>(unit);
            } else {
                return false;
            }
        }
        return Eat(L"\"");
    }
    Json Value() {
        Json value;
        Space();
        if (Eat(L"null")) {
            value.kind = Json::kNull;
        } else if (Eat(L"true") || Eat(L"false")) {
            value.kind = Json::kBool;
            value.boolean = s_[at_ - 1] == L'e' && s_[at_ - 2] == L'u';
        } else if (at_ < s_.size() && s_[at_] >= L'0' && s_[at_] <= L'9') {
            value.kind = Json::kNumber;
            while (at_ < s_.size() && s_[at_] >= L'0' && s_[at_] <= L'9')
                value.number = value.number * 10 + (s_[at_++] - L'0');
        } else if (at_ < s_.size() && s_[at_] == L'"') {
            value.kind = String(value.text) ? Json::kString : Json::kBad;
        } else if (Eat(L"[") || Eat(L"{")) {
            bool object = s_[at_ - 1] == L'{';
            value.kind = object ? Json::kObject : Json::kArray;
            Space();
            if (Eat(object ? L"}" : L"]")) return value;
            do {
                Space();
                std::wstring name;
                if (object && !(String(name) && (Space(), Eat(L":")))) return {};
                Json item = Value();
                if (item.kind == Json::kBad) return {};
                if (object)
                    value.members.emplace_back(name, item);
                else
                    value.items.push_back(item);
                Space();
            } while (Eat(L","));
            if (!Eat(object ? L"}" : L"]")) return {};
        }
        return value;
    }

    const std::wstring& s_;
    size_t at_ = 0;
};

}  // namespace support
