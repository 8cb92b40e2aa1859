#pragma once
// frmMain as it is created: every control, in creation order, with its place
// in twips (drawn for 15 twips per pixel), picture, words, font and tab index.
#include "resources/resource.h"
#include "toolkit/form.h"

namespace shell {

constexpr wchar_t kTitle[] = L"Tavrel - Performance Adjuster for Windows";

constexpr tk::FormSettings kMainWindow{L"TavrelMain", kTitle,     5940,
                                       7605,          IDI_TAVREL, IDP_BACKGROUND};

constexpr COLORREF kLinkRed = RGB(128, 0, 0);
constexpr tk::FontSettings kSansSerif{L"MS Sans Serif", 8.25f};
constexpr tk::FontSettings kLinkFont{L"MS Sans Serif", 9.75f, true, false, true};
constexpr tk::FontSettings kComic{L"Comic Sans MS", 8.25f};
constexpr tk::FontSettings kNoFont{};

using tk::Kind;
// clang-format off
constexpr tk::ControlSettings kLayout[] = {
//   name            kind                 left   top   width height tab picture         words / text                     tooltip
    {L"Connection",   Kind::CommandButton, 2880, 3120, 3015,  975,  8, IDP_CONNECTION, L"Connection",                   nullptr, kSansSerif, 0, 0, -1, -1},
    {L"Bandwidth",    Kind::CommandButton, 2880, 2040, 3015,  975,  7, IDP_BANDWIDTH,  L"Bandwidth",                    nullptr, kSansSerif, 0, 0, -1, -1},
    {L"Picture1",     Kind::PictureBox,    1200,  360, 4695, 1335,  6, IDP_LOGO,       L"Tavrel",                       nullptr, kSansSerif, 0, 0, -1, -1},
    {L"CLEARRECYCLE", Kind::CommandButton, 2880, 5280, 3015,  975,  5, IDP_RECYCLE,    L"Recycle",                      nullptr, kSansSerif, 0, 0, -1, -1},
    {L"CLEANME",      Kind::CommandButton, 2880, 4200, 3015,  975,  4, IDP_CLEANFILES, L"Clean Files",                  nullptr, kSansSerif, 0, 0, -1, -1},
    {L"SpybotButton", Kind::CommandButton, 2880, 6720, 1215,  735,  3, IDP_SPYBOT,     L"SpyBot",                       nullptr, {L"Comic Sans MS", 12.0f}, 0, 0, -1, -1},
    {L"HelpCommand",  Kind::CommandButton, 4680, 6720, 1215,  735,  2, IDP_HELP,       L"Help",                         nullptr, {L"Comic Sans MS", 15.75f}, 0, 0, -1, -1},
    {L"BellyButton",  Kind::CommandButton,  120, 4800, 2655, 2655,  1, IDP_BELLY,      L"Graphics & Performance",       L"Best Performance / Best Appearance", kComic, 0, 0, -1, -1},
    {L"HeadButton",   Kind::CommandButton,  120, 2040, 2655, 2655,  0, IDP_HEAD,       L"Maximum Performance",          L"Worst Appearance / Best Performance", kComic, 0, 0, -1, -1},
    {L"UpLeftText",   Kind::Label,          120,  360,  975, 1335, 10, 0,              L"Get More Features Now!",       nullptr, kLinkFont, kLinkRed, IDI_CLICKHERE, -1, -1},
    {L"Label1",       Kind::Label,         3000, 6360, 2775,  255,  9, 0,              L"Click here to refer a friend!", nullptr, kLinkFont, kLinkRed, 0, -1, -1},
    {L"mPopupSys",    Kind::Menu,             0,    0,    0,    0, -1, 0,              L"System Tray",                  nullptr, kNoFont, 0, 0, -1, -1},
    {L"mPopRestore",  Kind::MenuItem,         0,    0,    0,    0, -1, 0,              L"Restore Tavrel",               nullptr, kNoFont, 0, 0,  1, 11},
    {L"mPopRestart",  Kind::MenuItem,         0,    0,    0,    0, -1, 0,              L"Restart Computer",             nullptr, kNoFont, 0, 0, -1, 11},
    {L"mPowerBoot",   Kind::MenuItem,         0,    0,    0,    0, -1, 0,              L"Power Bootup",                 nullptr, kNoFont, 0, 0, -1, 11},
    {L"mNormalBoot",  Kind::MenuItem,         0,    0,    0,    0, -1, 0,              L"Normal Bootup",                nullptr, kNoFont, 0, 0, -1, 11},
    // Its words name the change it would undo, set as the menu opens.
    {L"mUndo",        Kind::MenuItem,         0,    0,    0,    0, -1, 0,              L"Undo",                         nullptr, kNoFont, 0, 0, -1, 11},
    {L"mStartupList", Kind::MenuItem,         0,    0,    0,    0, -1, 0,              L"Start-up programs\u2026",         nullptr, kNoFont, 0, 0, -1, 11},
};
// clang-format on

}  // namespace shell
