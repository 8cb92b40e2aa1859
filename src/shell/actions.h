#pragma once
// Everything the program does, one row each. The window's controls, the tray
// menu and the command line all run an action through this table, by id.
#include <windows.h>

#include <string>

class frmMain;

namespace shell {

enum class ActionId {
    kMtuSmall,
    kMtuLarge,
    kEffectsOff,
    kEffectsBalanced,
    kCleanUp,
    kEmptyRecycleBin,
    kRestore,
    kRestart,
    kPowerBootup,
    kNormalBootup,
    kUndo,
    kHistory,
    kStatus,
    kUsage,
    kInformation,
    kLogo,
    kSpybot,
    kReferFriend,
    kMoreFeatures,
};

// How an action ended; the command line's exit code.
enum Outcome { kDone = 0, kPartly = 1, kRefused = 2 };

struct Action;

// Where an action runs. The window asks and tells in message boxes; the
// command line asks nothing and collects its words in `report`.
struct ActionContext {
    frmMain* window = nullptr;       // nullptr on the command line
    const Action* action = nullptr;  // the row being run
    bool noRestart = false;
    bool whatIf = false;  // only say what would change, and change nothing
    std::wstring report;
};

struct Action {
    ActionId id;
    const wchar_t* argument;  // on the command line after / or -, any case; nullptr for none
    const wchar_t* value;     // the word that follows the argument; nullptr for none
    const wchar_t* control;   // the layout's control or menu item; nullptr for none
    const wchar_t* cue;       // the sound beside the program, played in the window only
    const wchar_t* page;      // a page of the maker's site; nullptr for none
    int show;                 // how the page's browser window starts
    // The change as its record and the tray's Undo item name it; nullptr for
    // an action that changes nothing.
    const wchar_t* title;
    Outcome (*run)(ActionContext& context);  // nullptr for a link alone
};

// The table, and its row for an id or a control name (nullptr for none).
const Action* Actions(size_t& count);
const Action& ActionOf(ActionId id);
const Action* ActionForControl(const std::wstring& control);

// Plays the cue and opens the page, in the window only; then runs the action.
Outcome RunAction(const Action& action, ActionContext& context);

// What the command line accepts, for /? and for a refused command line.
extern const wchar_t kUsage[];

}  // namespace shell
