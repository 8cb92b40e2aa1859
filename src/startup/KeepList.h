#pragma once
// The start-up entries "Power Bootup" never parks. The user keeps a list
// under HKEY_CURRENT_USER\Software\Tavrel\Keep, and an administrator one under
// HKEY_LOCAL_MACHINE\Software\Policies\Tavrel\Keep, where Group Policy and
// device-management tools write. Each REG_SZ value of a list names an entry:
// "NAME", that name in any place, or "PLACE:NAME", that name in one place.
// Names compare regardless of letter case, as Windows compares them.
#include <windows.h>

#include <string>
#include <vector>

#include "startup/MoveStartupValues.h"

// The places as the command line and the lists name them.
enum class EntryPlace { kHklm, kHklm32, kHkcu, kStartup, kCommonStartup, kCount };

// "HKLM", "HKLM32", "HKCU", "Startup", "CommonStartup".
const wchar_t* PlaceToken(EntryPlace place);
// The place a token names, in any case; false for none, and for HKLM32
// where Windows has no 32-bit view.
bool PlaceOfToken(const std::wstring& token, EntryPlace& place);
// The place of a key of the switch's or of a Startup folder, and back.
EntryPlace PlaceOf(MovePlace place, REGSAM view);
PlaceEntries EntriesOf(EntryPlace place, const std::wstring& name);

bool SameName(const std::wstring& a, const std::wstring& b);

constexpr wchar_t kUserKeepKey[] = L"Software\\Tavrel\\Keep";
constexpr wchar_t kPolicyKeepKey[] = L"Software\\Policies\\Tavrel\\Keep";

enum class Keeper { kNone, kUser, kAdministrator };

class KeepList {
public:
    // Both lists as they stand; a list that cannot be read keeps nothing.
    static KeepList Load();
    // Who keeps the entry: the administrator before the user.
    Keeper Of(EntryPlace place, const std::wstring& name) const;

private:
    struct Rule {
        bool anyPlace;
        EntryPlace place;
        std::wstring name;
        Keeper by;
    };
    std::vector<Rule> rules_;
};

// How a list names an entry: "NAME", or "PLACE:NAME" with a place.
std::wstring KeepLine(const std::wstring& name, const EntryPlace* place);
// Puts an entry on the user's list, or takes it off (ERROR_FILE_NOT_FOUND
// where it is not on it).
LSTATUS KeepEntry(const std::wstring& line);
LSTATUS UnkeepEntry(const std::wstring& line);
