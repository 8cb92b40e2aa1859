#include "startup/WindowsOwn.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "platform/platform.h"

namespace {

// Directly in one of these, not in a folder below them: users may write to
// some of those (Windows\Temp, System32\Tasks).
std::vector<std::wstring> OwnFolders() {
    std::vector<std::wstring> folders;
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length && length < MAX_PATH) folders.emplace_back(path, length);
    length = GetWindowsDirectoryW(path, MAX_PATH);
    if (length && length < MAX_PATH) {
        folders.emplace_back(path, length);
        if (platform::Is64BitWindows()) folders.push_back(folders.back() + L"\\SysWOW64");
    }
    return folders;
}

// The full, long path of an existing file, as a name is found: a bare name
// on the search path, the system folders first, as the shell finds it; a
// name without an extension as a program. "" when there is no such file.
std::wstring Found(std::wstring name, const std::vector<std::wstring>& folders) {
    if (name.empty()) return {};
    wchar_t full[MAX_PATH];
    DWORD length = 0;
    if (name.find_first_of(L"\\/:") == std::wstring::npos) {
        std::wstring path;
        for (const std::wstring& folder : folders) path += folder + L";";
        wchar_t variable[4096];
        DWORD size = GetEnvironmentVariableW(L"PATH", variable, 4096);
        if (size && size < 4096) path += variable;
        length = SearchPathW(path.c_str(), name.c_str(), L".exe", MAX_PATH, full, nullptr);
    } else {
        for (const wchar_t* extension : {L"", L".exe"}) {
            if (*extension && std::wcschr(name.c_str() + name.find_last_of(L"\\/") + 1, L'.'))
                break;  // an extension of its own: only as it stands
            length = GetFullPathNameW((name + extension).c_str(), MAX_PATH, full, nullptr);
            DWORD attributes =
                length && length < MAX_PATH ? GetFileAttributesW(full) : INVALID_FILE_ATTRIBUTES;
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                break;
            length = 0;
        }
    }
    if (!length || length >= MAX_PATH) return {};
    wchar_t longPath[MAX_PATH];
    DWORD longLength = GetLongPathNameW(full, longPath, MAX_PATH);
    return longLength && longLength < MAX_PATH ? longPath : full;
}

bool InOwnFolder(const std::wstring& file, const std::vector<std::wstring>& folders) {
    const size_t slash = file.find_last_of(L'\\');
    if (slash == std::wstring::npos) return false;
    // Told apart by length first: a switch asks this of every entry.
    for (const std::wstring& own : folders)
        if (own.size() == slash &&
            CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, file.c_str(), static_cast<int>(slash),
                           own.c_str(), static_cast<int>(slash)) == CSTR_EQUAL)
            return true;
    return false;
}

// Programs that run what their arguments name.
bool IsHost(const std::wstring& program) {
    static const wchar_t* const kHosts[] = {
        L"rundll32.exe", L"regsvr32.exe", L"cmd.exe",        L"wscript.exe",
        L"cscript.exe",  L"mshta.exe",    L"powershell.exe", L"conhost.exe",
        L"explorer.exe", L"msiexec.exe",  L"forfiles.exe",
    };
    const wchar_t* name = program.c_str() + program.find_last_of(L'\\') + 1;
    for (const wchar_t* host : kHosts)
        if (lstrcmpiW(name, host) == 0) return true;
    return false;
}

// The next word of a command line, its quotes taken off; false at the end.
bool NextWord(const std::wstring& line, size_t& at, std::wstring& word) {
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
    if (at >= line.size()) return false;
    word.clear();
    bool quoted = false;
    for (; at < line.size() && (quoted || (line[at] != L' ' && line[at] != L'\t')); ++at)
        if (line[at] == L'"')
            quoted = !quoted;
        else
            word += line[at];
    return true;
}

// Whether a command line can start a program of those folders at all: it
// begins, quoted or not, with one of them and a backslash, or with a bare
// name. Most entries are told apart here, before any copy or file lookup.
bool MayBeOwn(const wchar_t* text, size_t length, const std::vector<std::wstring>& folders) {
    while (length && (*text == L' ' || *text == L'\t' || *text == L'"')) ++text, --length;
    for (const std::wstring& own : folders)
        if (length > own.size() && text[own.size()] == L'\\' &&
            CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text, static_cast<int>(own.size()),
                           own.c_str(), static_cast<int>(own.size())) == CSTR_EQUAL)
            return true;
    for (; length && *text != L' ' && *text != L'"'; ++text, --length)
        if (*text == L'\\' || *text == L'/' || *text == L':') return false;
    return true;
}

}  // namespace

std::wstring WindowsOwnProgram(const mGeneral::ExactValue& value) {
    if ((value.type != REG_SZ && value.type != REG_EXPAND_SZ) || value.data.size() < 2) return {};
    // The folders stay put while the program runs.
    static const std::vector<std::wstring> folders = OwnFolders();
    const wchar_t* text = reinterpret_cast<const wchar_t*>(value.data.data());
    size_t length = 0;  // up to its first NUL
    while (length < value.data.size() / 2 && text[length]) ++length;
    // No command line of Windows' own is that long; a longer one would cost a
    // file lookup for each of its words.
    if (length > 4096) return {};
    if (value.type == REG_SZ && !MayBeOwn(text, length, folders)) return {};
    std::wstring line(text, length);
    if (value.type == REG_EXPAND_SZ) {
        const DWORD expandedLength = ExpandEnvironmentStringsW(line.c_str(), nullptr, 0);
        std::wstring expanded(expandedLength, L'\0');
        if (!expandedLength ||
            ExpandEnvironmentStringsW(line.c_str(), &expanded[0], expandedLength) != expandedLength)
            return {};
        expanded.resize(expandedLength - 1);
        line.swap(expanded);
        if (!MayBeOwn(line.c_str(), line.size(), folders)) return {};
    }
    // The program: a quoted path, or the shortest run of leading words that
    // names a file, as CreateProcess tries them.
    std::wstring program;
    size_t rest = 0;
    while (rest < line.size() && (line[rest] == L' ' || line[rest] == L'\t')) ++rest;
    // Only a bare name, or a path whose folder reads as one of those, is
    // looked for on disk: most entries are told apart without a file lookup.
    auto find = [&](const std::wstring& name) -> std::wstring {
        const bool bare = name.find_first_of(L"\\/:") == std::wstring::npos;
        return bare || InOwnFolder(name, folders) ? Found(name, folders) : std::wstring();
    };
    if (rest < line.size() && line[rest] == L'"') {
        const size_t close = line.find(L'"', rest + 1);
        if (close == std::wstring::npos) return {};
        program = find(line.substr(rest + 1, close - rest - 1));
        rest = close + 1;
    } else {
        for (size_t end = line.find(L' ', rest);; end = line.find(L' ', end + 1)) {
            program = find(line.substr(rest, end - rest));
            if (!program.empty() || end == std::wstring::npos) {
                rest = end;
                break;
            }
        }
    }
    if (!InOwnFolder(program, folders)) return {};
    // Nothing from anywhere else among its arguments: a switch is a word of
    // letters after its / or -; an address never counts; for a host, every
    // other word is a file of those folders ("shell32.dll,Control_RunDLL"
    // names shell32.dll).
    const bool host = IsHost(program);
    std::wstring word;
    for (size_t at = rest; rest != std::wstring::npos && NextWord(line, at, word);) {
        if (word.find(L"://") != std::wstring::npos || word.compare(0, 4, L"www.") == 0) return {};
        const bool looksLikeFile = word.find_first_of(L"\\/:.") != std::wstring::npos;
        if ((word[0] == L'/' || word[0] == L'-') &&
            word.find_first_of(L"\\:.", 1) == std::wstring::npos)
            continue;
        if (!host && !looksLikeFile) continue;
        if (!InOwnFolder(find(word.substr(0, word.find(L','))), folders)) return {};
    }
    return program;
}
