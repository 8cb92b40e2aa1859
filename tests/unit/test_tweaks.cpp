// The buttons and links: each plays its cue first and then does exactly its
// one thing, with the outward calls recorded; and the registry, the system
// parameters and the recycle bin as Wine really keeps them.
#include <doctest/doctest.h>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "history/changes.h"
#include "platform/platform.h"
#include "shell/frmMain.h"
#include "support/recorder.h"
#include "support/registry.h"
#include "support/standins.h"
#include "support/trash.h"
#include "toolkit/form.h"
#include "tweaks/WriteRegPath.h"
#include "tweaks/tweaks.h"

using support::Narrow;

namespace {

struct LoadedForm {
    platform::Recorder recorder;
    frmMain form;
    LoadedForm() { REQUIRE(form.Load(GetModuleHandleW(nullptr))); }
    ~LoadedForm() {
        if (form.Hwnd()) form.Unload();
        MSG msg;
        PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    // Clicks a control as the user would, and gives back what it called.
    std::vector<std::string> Click(const wchar_t* name) {
        recorder.calls.clear();
        HWND control = form.Find(name)->Hwnd();
        wchar_t cls[16] = L"";
        GetClassNameW(control, cls, 16);
        if (lstrcmpiW(cls, L"Button") == 0) {
            SendMessageW(control, BM_CLICK, 0, 0);
        } else {
            SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
            SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        }
        std::vector<std::string> calls;
        for (auto& call : recorder.calls) calls.push_back(Narrow(call));
        return calls;
    }
};

std::string Cue(const char* file) {
    return "PlaySoundFile " + Narrow(tk::ProgramFolder()) + "\\" + file + "|3";
}

std::string Started(const std::wstring& program, const std::string& arguments, int show) {
    return "StartCommand " + Narrow(program) + "|" + arguments + "|" + std::to_string(show);
}

std::string Page(const char* page) { return std::string("http://www.tavrel.example") + page; }

std::string Effect(UINT action, UINT value) {
    return "SystemParameters " + std::to_string(action) + "|" + std::to_string(value) + "|" +
           std::to_string(value) + "|3";
}

}  // namespace

TEST_CASE("every link plays its cue, then opens its page with its window style") {
    LoadedForm loaded;
    const std::wstring explorer = platform::WindowsFolderPath(L"explorer.exe");
    CHECK(loaded.Click(L"HelpCommand") ==
          std::vector<std::string>{Cue("click.wav"), Started(explorer, Page("/info.htm"), 2)});
    CHECK(loaded.Click(L"Picture1") ==
          std::vector<std::string>{Cue("click.wav"), Started(explorer, Page("/info.htm"), 2)});
    CHECK(loaded.Click(L"Label1") ==
          std::vector<std::string>{Cue("click.wav"), Started(explorer, Page("/taf.htm"), 2)});
    CHECK(loaded.Click(L"UpLeftText") ==
          std::vector<std::string>{Cue("click.wav"), Started(explorer, Page("/popup2.htm"), 0)});
    // The one control without a cue.
    CHECK(loaded.Click(L"SpybotButton") ==
          std::vector<std::string>{Started(explorer, Page("/info.htm"), 2)});
}

TEST_CASE("the effect buttons switch themes and apply their eight settings in their order") {
    LoadedForm loaded;
    CHECK(loaded.Click(L"HeadButton") ==
          std::vector<std::string>{Cue("longfire.wav"), "EnableTheming 0", Effect(0x1003, 0),
                                   Effect(0x101B, 0), Effect(0x1005, 0), Effect(0x0025, 0),
                                   Effect(0x1013, 0), Effect(0x1007, 0), Effect(0x1017, 0),
                                   Effect(0x004B, 0)});
    CHECK(loaded.Click(L"BellyButton") ==
          std::vector<std::string>{Cue("fire.wav"), "EnableTheming -1", Effect(0x004B, 1),
                                   Effect(0x101B, 0), Effect(0x1005, 0), Effect(0x1003, 0),
                                   Effect(0x0025, 1), Effect(0x1017, 0), Effect(0x1013, 0),
                                   Effect(0x1007, 1)});
}

TEST_CASE("clean-up starts the system's own tool; the recycle button asks the shell") {
    LoadedForm loaded;
    std::wstring tool = platform::SystemFolderPath(L"cleanmgr.exe");
#ifndef _WIN64
    if (platform::Is64BitWindows()) tool = platform::WindowsFolderPath(L"Sysnative\\cleanmgr.exe");
#endif
    CHECK(loaded.Click(L"CLEANME") ==
          std::vector<std::string>{Cue("click.wav"), Started(tool, "", 2)});
    CHECK(loaded.Click(L"CLEARRECYCLE") ==
          std::vector<std::string>{Cue("click.wav"), "EmptyRecycleBin 0|(null)|0"});
    CHECK(loaded.Click(L"Connection") == std::vector<std::string>{Cue("click.wav")});

    SUBCASE("a clean-up tool that cannot start is reported") {
        loaded.recorder.startResult = false;
        auto calls = loaded.Click(L"CLEANME");
        REQUIRE(calls.size() == 3);
        CHECK(calls[2].find("ShowMessage The disk clean-up tool could not be started") == 0);
        CHECK(IsWindow(loaded.form.Hwnd()));
    }
}

TEST_CASE("EmptyRecycleBin passes the drive and asks only when not told to be quiet") {
    LoadedForm loaded;
    loaded.recorder.calls.clear();
    loaded.form.EmptyRecycleBin("D:\\", -1);
    loaded.form.EmptyRecycleBin("", 1);
    loaded.form.EmptyRecycleBin(nullptr, 0);
    std::vector<std::string> calls;
    for (auto& call : loaded.recorder.calls) calls.push_back(Narrow(call));
    CHECK(calls == std::vector<std::string>{"EmptyRecycleBin 0|D:\\|7",
                                            "EmptyRecycleBin 0|(null)|7",
                                            "EmptyRecycleBin 0|(null)|0"});
}

TEST_CASE(
    "the cue path is the folder as given, then the file; a drive's root gives two backslashes") {
    CHECK(Narrow(tweaks::CuePath(L"C:\\Program Files\\Tavrel", L"\\click.wav")) ==
          "C:\\Program Files\\Tavrel\\click.wav");
    CHECK(Narrow(tweaks::CuePath(L"C:\\", L"\\click.wav")) == "C:\\\\click.wav");
    CHECK(Narrow(tweaks::CuePath(L"C:\\\u0395\u03bb\u65e5", L"\\fire.wav")) ==
          "C:\\\u0395\u03bb\u65e5\\fire.wav");
}

namespace {

constexpr wchar_t kTweaks[] = L"Software\\TavrelTests\\Tweaks";
constexpr char kTweaksPath[] = "HKEY_LOCAL_MACHINE\\Software\\TavrelTests\\Tweaks\\";

struct TweaksKey {
    TweaksKey() {
        support::DeleteTree(HKEY_LOCAL_MACHINE, kTweaks);
        HKEY key;
        REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTweaks, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr) == ERROR_SUCCESS);
        RegCloseKey(key);
    }
    ~TweaksKey() { support::DeleteTree(HKEY_LOCAL_MACHINE, kTweaks); }
};

std::string Stored(HKEY root, const std::string& path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "no key";
    DWORD type = 0, size = 64;
    BYTE data[64];
    LONG status = RegQueryValueExA(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "no value";
    char text[256];
    int at = std::snprintf(text, sizeof text, "%lu:", static_cast<unsigned long>(type));
    for (DWORD i = 0; i < size; ++i)
        at += std::snprintf(text + at, sizeof text - at, " %02X", data[i]);
    return text;
}

}  // namespace

TEST_CASE("WriteRegPath stores numbers least significant byte first and text with its NUL") {
    TweaksKey key;
    const std::string under = "Software\\TavrelTests\\Tweaks";
    tweaks::WriteRegPath(std::string(kTweaksPath) + "MTU", "DWordValue", "1500", 4);
    CHECK(Stored(HKEY_LOCAL_MACHINE, under, "MTU") == "4: DC 05 00 00");
    tweaks::WriteRegPath(std::string(kTweaksPath) + "MTU", "DWordValue", "68", 4);
    CHECK(Stored(HKEY_LOCAL_MACHINE, under, "MTU") == "4: 44 00 00 00");
    tweaks::WriteRegPath(std::string(kTweaksPath) + "Text", "StringValue", "abc", 1);
    CHECK(Stored(HKEY_LOCAL_MACHINE, under, "Text") == "1: 61 62 63 00");
    tweaks::WriteRegPath(std::string(kTweaksPath) + "Other", "BinaryValue", "1", 3);
    CHECK(Stored(HKEY_LOCAL_MACHINE, under, "Other") == "no value");
    tweaks::WriteRegPath(std::string(kTweaksPath) + "Bad", "DWordValue", "12x", 4);
    CHECK(Stored(HKEY_LOCAL_MACHINE, under, "Bad") == "no value");

    SUBCASE("a missing key is not created") {
        tweaks::WriteRegPath(std::string(kTweaksPath) + "Missing\\MTU", "DWordValue", "68", 4);
        CHECK(Stored(HKEY_LOCAL_MACHINE, under + "\\Missing", "MTU") == "no key");
    }
}

TEST_CASE("Connection then Bandwidth leaves MTU at 1500; the reverse leaves 68") {
    const std::string parameters = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
    HKEY key;
    REQUIRE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) == ERROR_SUCCESS);
    RegCloseKey(key);
    for (DWORD mtu : {68, 1500, 1500}) CHECK(history::Apply(history::PlanMtu(mtu)).empty());
    CHECK(Stored(HKEY_LOCAL_MACHINE, parameters, "MTU") == "4: DC 05 00 00");
    for (DWORD mtu : {1500, 68}) CHECK(history::Apply(history::PlanMtu(mtu)).empty());
    CHECK(Stored(HKEY_LOCAL_MACHINE, parameters, "MTU") == "4: 44 00 00 00");
}

namespace {

// The eight effects as the system reports them, in the order of the table.
std::vector<BOOL> EffectsNow() {
    const UINT gets[] = {0x1002, 0x101A, 0x1004, 0x0026, 0x1012, 0x1006, 0x1016, 0x004A};
    std::vector<BOOL> states;
    for (UINT action : gets) {
        BOOL on = -1;
        SystemParametersInfoA(action, 0, &on, 0);
        states.push_back(on ? TRUE : FALSE);
    }
    return states;
}

// What EnableTheming records for the user.
std::string ThemeSwitch() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "no key";
    char value[16] = "";
    DWORD size = sizeof value - 1;
    LONG status = RegQueryValueExA(key, "ThemeActive", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? value : "no value";
}

}  // namespace

TEST_CASE("the effect sets as the system keeps them: all off, then the balanced three on") {
    platform::Current().EnableTheming(FALSE);
    CHECK(history::DisableVisualEffects() == L"");
    CHECK(EffectsNow() == std::vector<BOOL>(8, FALSE));
    CHECK(ThemeSwitch() == "0");

    platform::Current().EnableTheming(-1);
    CHECK(history::BalanceVisualEffects() == L"");
    // menu animation, cursor shadow, combo box, full drag, menu fade, smooth
    // list boxes, tooltip animation, font smoothing
    CHECK(EffectsNow() == std::vector<BOOL>{FALSE, FALSE, FALSE, TRUE, FALSE, TRUE, FALSE, TRUE});
    // Wine turns theming back on only with a theme file, and the sandbox has
    // none; the recorded call above shows what is asked for.
}

TEST_CASE("a quiet EmptyRecycleBin empties the sandbox's bin without a window") {
    REQUIRE_FALSE(support::RecycleNewFile().empty());
    REQUIRE(support::ItemsInBin() > 0);

    LoadedForm loaded;
    platform::Install(nullptr);  // the real shell for this one
    CHECK(SUCCEEDED(loaded.form.EmptyRecycleBin(nullptr, -1)));
    platform::Install(&loaded.recorder);
    CHECK(support::ItemsInBin() == 0);
}
