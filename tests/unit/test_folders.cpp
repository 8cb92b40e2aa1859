// The Startup folders' items against Wine's real file system, in folders of
// the tests' own: every kind of item parks and comes back whole, none is
// ever replaced, and an untrusted parking folder for all users is left alone.
#include <doctest/doctest.h>
#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>

#include <string>
#include <vector>

#include "startup/StartupFolders.h"
#include "support/folders.h"

using support::MakeItem;
using support::ReadTree;
using support::Tree;

namespace {

constexpr wchar_t kRoot[] = L"C:\\tavrel-tests\\folders";
constexpr wchar_t kAbsent[] = L"Software\\TavrelTests\\Folders\\Absent";

std::vector<StartupFolder> Folders() {
    std::vector<StartupFolder> folders;
    for (MovePlace place : {kUserFolder, kMachineFolder}) {
        const std::wstring base =
            std::wstring(kRoot) + (place == kUserFolder ? L"\\user" : L"\\all");
        folders.push_back({place, base + L"\\Startup", base + L"\\Tavrel\\StartupDisabled"});
    }
    return folders;
}

// The tests' folders, the Startup ones made empty, gone before and after.
struct Sandbox {
    std::vector<StartupFolder> folders = Folders();
    Sandbox() {
        support::RemoveTree(kRoot);
        CreateDirectoryW(L"C:\\tavrel-tests", nullptr);
        CreateDirectoryW(kRoot, nullptr);
        for (const StartupFolder& folder : folders) {
            CreateDirectoryW(folder.live.substr(0, folder.live.rfind(L'\\')).c_str(), nullptr);
            CreateDirectoryW(folder.live.c_str(), nullptr);
        }
    }
    ~Sandbox() { support::RemoveTree(kRoot); }
    MoveResult Move(bool park) const {
        MoveOptions options;
        options.folders = &folders;
        options.parkFolders = park;
        options.keepWindowsOwn = park;
        return MoveStartupValues(kAbsent, kAbsent, options);
    }
};

// One item of each kind a Startup folder holds, with attributes and times of
// its own; desktop.ini and a shortcut to a program of Windows' own stay.
void Fill(const std::wstring& folder) {
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7 ^ i >> 8);
    const std::string script = "@echo off\r\n", ini = "[.ShellClassInfo]\r\n", inner = "x";
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    REQUIRE(MakeItem(folder + L"\\report \u8D77\u52D5 \xD83D\xDE80.txt", &bytes,
                     hidden | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 1));
    REQUIRE(MakeItem(folder + L"\\" + std::wstring(230, L'n') + L".cmd", &script,
                     FILE_ATTRIBUTE_ARCHIVE, 2));
    REQUIRE(CreateDirectoryW((folder + L"\\Sub folder").c_str(), nullptr));
    REQUIRE(MakeItem(folder + L"\\Sub folder\\inner.txt", &inner, FILE_ATTRIBUTE_READONLY, 3));
    REQUIRE(MakeItem(folder + L"\\Sub folder", nullptr, FILE_ATTRIBUTE_HIDDEN, 4));
    REQUIRE(support::MakeShortcut(folder + L"\\helper.lnk", L"C:\\Vendor\\helper.exe", L"-q"));
    REQUIRE(
        support::MakeShortcut(folder + L"\\own.lnk", L"C:\\windows\\system32\\notepad.exe", L""));
    REQUIRE(MakeItem(folder + L"\\desktop.ini", &ini, hidden, 5));
}

// Park, then bring back: what stays, what moves, and every item whole.
void RoundTrip(DWORD attributes) {
    Sandbox sandbox;
    std::vector<Tree> before;
    for (const StartupFolder& folder : sandbox.folders) {
        Fill(folder.live);
        before.push_back(ReadTree(folder.live, attributes));
    }
    MoveResult power = sandbox.Move(true);
    CHECK(power.moved == 8);
    CHECK(power.Complete());
    CHECK(power.windowsOwn.size() == 2);
    for (size_t i = 0; i < sandbox.folders.size(); ++i) {
        Tree stays = ReadTree(sandbox.folders[i].live, attributes), parked = before[i];
        for (const wchar_t* name : {L"desktop.ini", L"own.lnk"}) parked.erase(name);
        CHECK(stays.size() == 2);
        CHECK((stays.count(L"desktop.ini") && stays.count(L"own.lnk")));
        CHECK(ReadTree(sandbox.folders[i].parked, attributes) == parked);
    }
    MoveResult normal = sandbox.Move(false);
    CHECK(normal.moved == 8);
    CHECK(normal.Complete());
    for (size_t i = 0; i < sandbox.folders.size(); ++i) {
        CHECK(ReadTree(sandbox.folders[i].live, attributes) == before[i]);
        CHECK(ReadTree(sandbox.folders[i].parked).empty());
    }
}

}  // namespace

TEST_CASE("every kind of Startup item parks and comes back whole: bytes, names and times") {
    RoundTrip(FILE_ATTRIBUTE_DIRECTORY);
}

TEST_CASE("Startup items keep their DOS attributes, where the file system keeps them") {
    // scripts/test counts this case as skipped, not passed.
    if (!support::KeepsAttributes()) {
        MESSAGE("SKIP: DOS attributes of Startup items: this file system keeps none");
        return;
    }
    RoundTrip(~0u);
}

TEST_CASE("no item is ever replaced: a name taken on the other side keeps both where they are") {
    Sandbox sandbox;
    const std::string live = "live", parked = "parked", other = "other";
    for (const StartupFolder& folder : sandbox.folders) {
        REQUIRE(MakeItem(folder.live + L"\\a.txt", &live, FILE_ATTRIBUTE_ARCHIVE, 1));
        REQUIRE(MakeItem(folder.live + L"\\b.txt", &other, FILE_ATTRIBUTE_ARCHIVE, 2));
        CreateDirectoryW(folder.parked.substr(0, folder.parked.rfind(L'\\')).c_str(), nullptr);
        CreateDirectoryW(folder.parked.c_str(), nullptr);
        REQUIRE(MakeItem(folder.parked + L"\\a.txt", &parked, FILE_ATTRIBUTE_ARCHIVE, 3));
    }
    MoveResult power = sandbox.Move(true);
    CHECK(power.moved == 2);  // b.txt
    // A program puts its b.txt back, as an update may.
    for (const StartupFolder& folder : sandbox.folders)
        REQUIRE(MakeItem(folder.live + L"\\b.txt", &live, FILE_ATTRIBUTE_ARCHIVE, 4));
    MoveResult normal = sandbox.Move(false);
    CHECK(normal.moved == 0);
    for (const StartupFolder& folder : sandbox.folders) {
        INFO("place ", static_cast<int>(folder.place));
        CHECK(power.keptBy[folder.place][kAlreadyParked] == 1);
        CHECK(normal.keptBy[folder.place][kLiveItemThere] == 2);
        CHECK(ReadTree(folder.live)[L"a.txt"].bytes == live);
        CHECK(ReadTree(folder.live)[L"b.txt"].bytes == live);
        CHECK(ReadTree(folder.parked)[L"a.txt"].bytes == parked);
        CHECK(ReadTree(folder.parked)[L"b.txt"].bytes == other);
    }
}

TEST_CASE("a parking folder for all users that others could change is never moved into or out of") {
    Sandbox sandbox;
    const StartupFolder& folder = sandbox.folders[1];
    const std::string bytes = "item";
    REQUIRE(MakeItem(folder.live + L"\\live.txt", &bytes, FILE_ATTRIBUTE_ARCHIVE, 1));
    CreateDirectoryW(folder.parked.substr(0, folder.parked.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(folder.parked.c_str(), nullptr);
    REQUIRE(MakeItem(folder.parked + L"\\planted.txt", &bytes, FILE_ATTRIBUTE_ARCHIVE, 2));
    PSECURITY_DESCRIPTOR open = nullptr;
    REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)",
                                                                 SDDL_REVISION_1, &open, nullptr));
    REQUIRE(SetFileSecurityW(folder.parked.c_str(), DACL_SECURITY_INFORMATION, open));
    LocalFree(open);
    for (bool park : {true, false}) {
        MoveResult result = sandbox.Move(park);
        CHECK(result.moved == 0);
        CHECK(result.keptBy[kMachineFolder][kUntrustedFolder] == 1);
        CHECK(DescribeKept(result).find(folder.parked) != std::wstring::npos);
    }
    CHECK(ReadTree(folder.live).count(L"live.txt") == 1);
    CHECK(ReadTree(folder.live).count(L"planted.txt") == 0);
}
