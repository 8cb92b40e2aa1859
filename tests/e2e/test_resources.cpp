// What the program file carries: version block, icon and manifest.
#include <doctest/doctest.h>

#include <string>

#include "e2e/driver.h"
#include "support/standins.h"

using support::Narrow;

namespace {

std::wstring TavrelPath() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, n);
    return self.substr(0, self.find_last_of(L'\\')) + L"\\Tavrel.exe";
}

std::string VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || !length) return "";
    return Narrow(static_cast<const wchar_t*>(value));
}

}  // namespace

TEST_CASE("the version block names the program in US English with Unicode") {
    std::wstring path = TavrelPath();
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    REQUIRE(size > 0);
    std::vector<BYTE> block(size);
    REQUIRE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    CHECK(VersionString(block, L"FileVersion") == "1.00.0151");
    CHECK(VersionString(block, L"ProductVersion") == "1.00.0151");
    CHECK(VersionString(block, L"FileDescription") == "Tavrel - Performance Adjuster for XP");
    CHECK(VersionString(block, L"InternalName") == "Tavrel");
    CHECK(VersionString(block, L"OriginalFilename") == "Tavrel.exe");

    WORD* translation = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length));
    REQUIRE(length >= 4);
    CHECK(translation[0] == 0x0409);
    CHECK(translation[1] == 1200);
}

TEST_CASE("icon group 1 is one 48 x 48 picture in 256 colours; the manifest asks what it must") {
    HMODULE file = LoadLibraryExW(TavrelPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(file);
    HRSRC group = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14) /*RT_GROUP_ICON*/);
    REQUIRE(group);
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(file, group)));
    REQUIRE(dir);
    // GRPICONDIR: reserved, type, count; then 14-byte entries.
    CHECK(*reinterpret_cast<const WORD*>(dir + 4) == 1);
    CHECK(dir[6] == 48);                                      // width
    CHECK(dir[7] == 48);                                      // height
    CHECK(*reinterpret_cast<const WORD*>(dir + 6 + 6) == 8);  // bits per pixel

    auto manifest = [&](int id) {
        HRSRC found =
            FindResourceW(file, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(24) /*RT_MANIFEST*/);
        REQUIRE(found);
        return std::string(static_cast<const char*>(LockResource(LoadResource(file, found))),
                           SizeofResource(file, found));
    };
    // The program's own manifest leaves the common controls 6 out; the second,
    // which it activates for message boxes, dialogs and tooltips, asks for them.
    const std::string styles = manifest(2);
    CHECK(styles.find("Microsoft.Windows.Common-Controls") != std::string::npos);
    CHECK(styles.find("version=\"6.0.0.0\"") != std::string::npos);
    const std::string text = manifest(1);
    CHECK(text.find("Microsoft.Windows.Common-Controls") == std::string::npos);
    // Not DPI-aware, so that Windows 8.1 and later scale the window whole.
    CHECK(text.find("dpiAware") == std::string::npos);
    CHECK(text.find("level=\"highestAvailable\"") != std::string::npos);
    CHECK(text.find("supportedOS") != std::string::npos);
#ifdef _WIN64
    CHECK(text.find("processorArchitecture=\"amd64\"") != std::string::npos);
    CHECK(styles.find("processorArchitecture=\"amd64\"") != std::string::npos);
#else
    CHECK(text.find("processorArchitecture=\"x86\"") != std::string::npos);
    CHECK(styles.find("processorArchitecture=\"x86\"") != std::string::npos);
#endif
    FreeLibrary(file);
}
