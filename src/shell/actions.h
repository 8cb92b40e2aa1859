#pragma once
// Everything the program does, one row each. The window's controls, the tray
// menu and the command line all run an action through this table, by id.
#include <windows.h>

#include <string>

#include "startup/KeepList.h"

namespace shell {

constexpr wchar_t kProgramTitle[] = L"Tavrel";

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
    kStartupPrograms,
    kPark,
    kRestoreEntry,
    kKeep,
    kUnkeep,
    kHistory,
    kStatus,
    kUsage,
    kInformation,
    kLogo,
    kSpybot,
    kReferFriend,
    kMoreFeatures,
};

// How an action ended; the command line's exit code. kRestartRequired is the
// Windows convention deployment tools schedule a restart on: all done, but a
// restart that would have followed was not made (/NoRestart).
enum Outcome { kDone = 0, kPartly = 1, kRefused = 2, kRestartRequired = 3010 };

struct Action;

// The window an action runs in: it asks and tells in message boxes, plays the
// cue and opens the page. The command line has none, so that the console
// program carries no window, picture or sound.
class ActionWindow {
public:
    virtual HWND Owner() = 0;
    virtual void Present(const Action& action) = 0;  // the cue, then the page
    virtual void Restore() = 0;                      // back from the tray
    virtual HRESULT EmptyBins() = 0;                 // asking, with progress
    virtual void ShowStartupPrograms() = 0;          // the start-up programs window
protected:
    ~ActionWindow() = default;
};

// Where an action runs. The window asks and tells in message boxes; the
// command line asks nothing and collects its words in `report`.
struct ActionContext {
    ActionWindow* window = nullptr;  // nullptr on the command line
    const Action* action = nullptr;  // the row being run
    bool noRestart = false;
    bool whatIf = false;  // only say what would change, and change nothing
    bool json = false;
    bool moved = false;  // a switch moved entries: a restart refused now leaves them waiting
    std::wstring name;   // the entry an action on one entry names
    std::wstring place;  // /Place, where that entry is; empty for any
    std::wstring report;
};

// What may follow an action on the command line: each row of the table below
// names the options it takes.
enum OptionBit : unsigned {
    kNoRestartOption = 1u << 0,
    kJsonOption = 1u << 1,
    kWhatIfOption = 1u << 2,
    kPlaceOption = 1u << 3,
};
struct Option {
    OptionBit bit;
    const wchar_t* argument;            // after / or -, any case
    bool ActionContext::*field;         // what it sets for the action; or
    std::wstring ActionContext::*text;  // the word after it, for one that takes one
    const wchar_t* value;               // that word, for the usage text
    const wchar_t* help;                // for the usage text
};
const Option* Options(size_t& count);
// The arguments of the actions that take the option: "/PowerBootup or /NormalBootup".
std::wstring OptionUsers(unsigned bit);

// The value of an action that takes any word: the name of an entry.
constexpr wchar_t kNameValue[] = L"NAME";

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
    unsigned options;                        // the OptionBits it takes
    const wchar_t* help;                     // for the usage text, on the first row of its argument
};

// The table, and its row for an id or a control name (nullptr for none).
const Action* Actions(size_t& count);
const Action& ActionOf(ActionId id);
const Action* ActionForControl(const std::wstring& control);

// Lets the window play the cue and open the page; then runs the action.
Outcome RunAction(const Action& action, ActionContext& context);

// Parks one entry, or brings it back, through the switch, recorded: what
// /Park and /Restore do once they have found it, and the start-up programs
// window's check boxes. kDone when it moved; kRefused, and why in a message
// box or the report, when it stayed.
Outcome MoveOne(ActionContext& context, EntryPlace place, const std::wstring& name, bool park);

// What the command line accepts, for /? and for a refused command line, made
// from the rows so that no argument can be missing from it.
std::wstring Usage();

}  // namespace shell
