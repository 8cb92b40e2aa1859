// The tests run in a sandbox: under Wine the recycle bin is the host's Trash
// below XDG_DATA_HOME, and that must be the sandbox's, never the user's.
#include <doctest/doctest.h>
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <string>

#include "support/standins.h"
#include "support/trash.h"

using support::Narrow;

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t value[2048];
    DWORD n = GetEnvironmentVariableW(name, value, 2048);
    return n > 0 && n < 2048 ? std::wstring(value, n) : std::wstring();
}

// A host path as this process sees it through Wine's Z: drive.
std::wstring HostPath(std::wstring unixPath) {
    for (auto& c : unixPath)
        if (c == L'/') c = L'\\';
    return L"Z:" + unixPath;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST_CASE("HOME and XDG_DATA_HOME lie inside the sandbox") {
    // Wine hands HOME on as WINEHOMEDIR, in NT form: \??\Z:\...
    CHECK(Narrow(Env(L"WINEHOMEDIR")).find("\\build\\sandbox\\") != std::string::npos);
    CHECK(Narrow(Env(L"XDG_DATA_HOME")).find("/build/sandbox/") != std::string::npos);
}

TEST_CASE("the recycle bin is the sandbox's Trash, and emptying it empties that") {
    std::wstring trash = HostPath(Env(L"XDG_DATA_HOME")) + L"\\Trash\\files\\";
    std::wstring name = support::RecycleNewFile();
    REQUIRE_FALSE(name.empty());
    INFO("trash: ", Narrow(trash + name));
    REQUIRE(Exists(trash + name));

    CHECK(SHEmptyRecycleBinW(nullptr, nullptr,
                             SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND) == S_OK);
    CHECK_FALSE(Exists(trash + name));
}
