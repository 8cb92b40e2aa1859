#pragma once
// The two Startup folders and the folders of Tavrel's own where their items
// wait while parked. An item moves by one rename on one volume, so that at
// any moment it stands whole in exactly one place, its bytes, name,
// attributes and times its own. No item is ever replaced or deleted: where
// the other folder already holds one of that name, both stay.
//
// The folder for all users parks into ProgramData\Tavrel\StartupDisabled.
// Any user may create folders under ProgramData, so that folder is created
// writable by administrators and the system only, and is trusted only while
// it still is: what a user could have put there must never reach the Startup
// folder every user's logon runs.
#include <windows.h>

#include <string>
#include <vector>

#include "startup/MoveStartupValues.h"

// A Startup folder, and the folder its items are parked in.
struct StartupFolder {
    MovePlace place = kUserFolder;  // kUserFolder or kMachineFolder
    std::wstring live;              // where the logon starts them from
    std::wstring parked;            // Tavrel's own, on the same volume
};

// This user's (CSIDL_STARTUP, parked under the roaming application data,
// which holds it) and the one for all users (CSIDL_COMMON_STARTUP, parked
// under the common application data). A folder the system does not name is
// left out.
std::vector<StartupFolder> StartupFolders();

// Moves a folder's items one way: every item but desktop.ini, or only those
// `only` names, each only while it still is what its fingerprint says.
void MoveFolderItems(const StartupFolder& folder, bool park, const MoveOptions& options,
                     MoveResult& result, const PlaceEntries* only);

// A shortcut counts as Windows' own by its target and arguments, as a Run
// entry counts by its command line; any other item lies in the Startup folder.
bool IsWindowsOwnItem(const std::wstring& path, const std::wstring& name);

// Whether the item is a shell shortcut, by its name: "x.lnk" in any case.
bool IsShortcut(const std::wstring& name);

// A shortcut's target as stored and its arguments; false when the file is
// not one the shell can read.
bool ReadShortcut(const std::wstring& file, std::wstring& target, std::wstring& arguments);

// The items of a folder in the order the file system lists them, without
// desktop.ini; false when the folder cannot be listed.
bool ListItems(const std::wstring& folder, std::vector<std::wstring>& names);
