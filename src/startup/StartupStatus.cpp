#include "startup/StartupStatus.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "base/handle.h"
#include "base/text.h"
#include "startup/MoveStartupValues.h"

namespace {

constexpr size_t kLongestText = 160;
constexpr size_t kBytesShown = 16;

// Control characters would break the line or move the console's cursor.
std::wstring Escaped(const wchar_t* text, size_t length) {
    std::wstring out;
    for (size_t i = 0; i < length && i < kLongestText; ++i) {
        wchar_t c = text[i];
        if (c == L'\t')
            out += L"\\t";
        else if (c == L'\n')
            out += L"\\n";
        else if (c == L'\r')
            out += L"\\r";
        else if (c == L'\0')
            out += L"\\0";
        else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
            out += L"\\x" + base::HexByte(static_cast<unsigned char>(c));
        else
            out += c;
    }
    if (length > kLongestText) out += L"...";
    return out;
}

std::wstring TextOf(const mGeneral::ExactValue& value) {
    // Registry strings may lack their NUL, or have an odd byte count.
    size_t chars = value.data.size() / sizeof(wchar_t);
    std::wstring text(chars, L'\0');
    if (chars)
        std::copy_n(value.data.data(), chars * sizeof(wchar_t), reinterpret_cast<BYTE*>(&text[0]));
    if (value.type == REG_MULTI_SZ) {
        while (!text.empty() && text.back() == L'\0') text.pop_back();
    } else {
        text = text.substr(0, text.find(L'\0'));
    }
    std::wstring shown = L"\"" + Escaped(text.data(), text.size()) + L"\"";
    if (value.data.size() % sizeof(wchar_t)) shown += L" (and an odd byte)";
    return shown;
}

unsigned long long Number(const std::vector<BYTE>& data, bool bigEndian) {
    unsigned long long n = 0;
    for (size_t i = 0; i < data.size(); ++i)
        n = (n << 8) | data[bigEndian ? i : data.size() - 1 - i];
    return n;
}

std::wstring BytesOf(const std::vector<BYTE>& data) {
    std::wstring out;
    for (size_t i = 0; i < data.size() && i < kBytesShown; ++i)
        out += (i ? L" " : L"") + base::HexByte(data[i]);
    if (data.size() > kBytesShown) out += L" ...";
    return out + (out.empty() ? L"(" : L" (") + base::Decimal(data.size()) +
           (data.size() == 1 ? L" byte)" : L" bytes)");
}

const wchar_t* const kTypeNames[] = {
    L"REG_NONE",
    L"REG_SZ",
    L"REG_EXPAND_SZ",
    L"REG_BINARY",
    L"REG_DWORD",
    L"REG_DWORD_BIG_ENDIAN",
    L"REG_LINK",
    L"REG_MULTI_SZ",
    L"REG_RESOURCE_LIST",
    L"REG_FULL_RESOURCE_DESCRIPTOR",
    L"REG_RESOURCE_REQUIREMENTS_LIST",
    L"REG_QWORD",
};

void DescribeKey(HKEY root, REGSAM view, const wchar_t* rootName, const wchar_t* viewName,
                 const wchar_t* path, std::wstring& out) {
    out += std::wstring(rootName) + L"\\" + path + viewName + L":";
    base::KeyHandle key;
    LSTATUS opened = mGeneral::OpenKeyExact(root, path, KEY_QUERY_VALUE | view, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND) {
        out += L" no such key\n";
        return;
    }
    std::vector<std::wstring> names;
    if (opened != ERROR_SUCCESS || !mGeneral::ListNamesExact(key.Get(), names)) {
        out += L" could not be read\n";
        return;
    }
    out += names.empty() ? L" empty\n" : L" " + Entries(static_cast<int>(names.size())) + L"\n";
    mGeneral::ExactValue value;
    for (const std::wstring& name : names) {
        out +=
            L"  " + (name.empty() ? std::wstring(L"(default)") : Escaped(name.data(), name.size()));
        out += mGeneral::ReadExact(key.Get(), name, value) == ERROR_SUCCESS
                   ? L" = " + RenderValue(value) + L"\n"
                   : std::wstring(L" (gone while read)\n");
    }
}

}  // namespace

std::wstring RenderValue(const mGeneral::ExactValue& value) {
    std::wstring type = value.type < sizeof kTypeNames / sizeof *kTypeNames
                            ? kTypeNames[value.type]
                            : L"type " + base::Decimal(value.type);
    switch (value.type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
            return type + L" " + TextOf(value);
        case REG_DWORD:
        case REG_DWORD_BIG_ENDIAN:
            if (value.data.size() == 4)
                return type + L" " + base::Decimal(Number(value.data, value.type != REG_DWORD));
            break;
        case REG_QWORD:
            if (value.data.size() == 8)
                return type + L" " + base::Decimal(Number(value.data, false));
            break;
        default:
            break;
    }
    return type + L" " + BytesOf(value.data);
}

std::wstring DescribeStartupEntries() {
    std::wstring out;
    for (REGSAM view : StartupMachineViews()) {
        const wchar_t* viewName = view == KEY_WOW64_64KEY   ? L" (64-bit view)"
                                  : view == KEY_WOW64_32KEY ? L" (32-bit view)"
                                                            : L"";
        for (const wchar_t* path : {kStartupKey, kParkingKey})
            DescribeKey(HKEY_LOCAL_MACHINE, view, L"HKLM", viewName, path, out);
    }
    for (const wchar_t* path : {kStartupKey, kParkingKey})
        DescribeKey(HKEY_CURRENT_USER, 0, L"HKCU", L"", path, out);
    return out;
}

namespace {

// "HKLM (64-bit view)", "HKCU".
const wchar_t* PlaceName(MovePlace place, REGSAM view) {
    if (place == kThisUser) return L"HKCU";
    return view == KEY_WOW64_64KEY   ? L"HKLM (64-bit view)"
           : view == KEY_WOW64_32KEY ? L"HKLM (32-bit view)"
                                     : L"HKLM";
}

const wchar_t* LastPart(const wchar_t* path) {
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// The same checks as the move makes, in the same order, with reads only.
void PreviewPlace(MovePlace place, REGSAM view, const wchar_t* source, const wchar_t* target,
                  bool keepTargetValues, const PlaceEntries* only, std::wstring& out,
                  int& staying) {
    const HKEY root = place == kMachineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const bool checked = only && !only->hashes.empty();
    if (checked && only->hashes.size() != only->names.size()) return;
    const wchar_t *from = LastPart(source), *to = LastPart(target);
    const wchar_t* where = PlaceName(place, view);
    // "stays in Run: <why>", or "Run → RunDisabled".
    auto line = [&](const std::wstring& name, const KeptReason* stays) {
        out += base::Cat({L"start-up entry \"", Escaped(name.data(), name.size()), L"\" in ", where,
                          L": ", stays ? L"stays in " : L"", from, stays ? L": " : L" \u2192 ",
                          stays ? WhyKept(*stays, false) : to, L"\n"});
        staying += stays != nullptr;
    };
    const KeptReason changed = kChangedSince, denied = kNeedsAdministrator,
                     differs = kLiveEntryDiffers;
    base::KeyHandle reader, writer, there;
    mGeneral::OpenKeyExact(root, source, KEY_QUERY_VALUE | view, reader.Put());
    std::vector<std::wstring> listed;
    if (!only && reader) mGeneral::ListNamesExact(reader.Get(), listed);
    const std::vector<std::wstring>& names = only ? only->names : listed;
    const bool writable =
        mGeneral::OpenKeyExact(root, source, KEY_QUERY_VALUE | KEY_SET_VALUE | view,
                               writer.Put()) == ERROR_SUCCESS;
    mGeneral::OpenKeyExact(root, target, KEY_QUERY_VALUE | view, there.Put());
    mGeneral::ExactValue value, live;
    for (size_t i = 0; i < names.size(); ++i) {
        if (checked && !only->hashes[i]) continue;
        if (!reader || mGeneral::ReadExact(reader.Get(), names[i], value) != ERROR_SUCCESS ||
            (checked && mGeneral::ValueHash(value) != only->hashes[i])) {
            if (checked &&
                !(there && mGeneral::ReadExact(there.Get(), names[i], live) == ERROR_SUCCESS &&
                  mGeneral::ValueHash(live) == only->hashes[i]))
                line(names[i], &changed);
            continue;
        }
        if (!writable)
            line(names[i], &denied);
        else if (keepTargetValues && there &&
                 mGeneral::ReadExact(there.Get(), names[i], live) == ERROR_SUCCESS &&
                 !mGeneral::SameValue(live, value))
            line(names[i], &differs);
        else
            line(names[i], nullptr);
    }
}

}  // namespace

std::wstring PreviewMove(const wchar_t* source, const wchar_t* target, bool keepTargetValues,
                         const std::vector<PlaceEntries>* only, int& staying) {
    std::wstring out;
    staying = 0;
    if (only) {
        for (const PlaceEntries& place : *only)
            PreviewPlace(place.place, place.view, source, target, keepTargetValues, &place, out,
                         staying);
        return out;
    }
    for (REGSAM view : StartupMachineViews())
        PreviewPlace(kMachineWide, view, source, target, keepTargetValues, nullptr, out, staying);
    PreviewPlace(kThisUser, 0, source, target, keepTargetValues, nullptr, out, staying);
    return out;
}
