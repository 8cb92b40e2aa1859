// The start-up switch never loses an entry. Seeded random contents of both
// keys go away and come back whole; each step of a move fails in turn for one
// value; and hostile keys (huge, changing, vanishing, unopenable) end after
// work that grows with the number of values, never more.
//
// Every run prints "reliability seed: N". TAVREL_SEED=N replays that run;
// TAVREL_CASE=K replays only its case K, TAVREL_CASES=C sets how many run.
#include <doctest/doctest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "registry/exact.h"
#include "registry/mGeneral.h"
#include "startup/MoveStartupValues.h"
#include "support/values.h"

using mGeneral::ExactValue;
using support::Bytes;
using support::Get;
using support::Shown;
using support::Value;
using support::Values;

namespace {

constexpr wchar_t kBase[] = L"Software\\TavrelTests\\Reliability";
constexpr wchar_t kRun[] = L"Software\\TavrelTests\\Reliability\\Run";
constexpr wchar_t kParked[] = L"Software\\TavrelTests\\Reliability\\RunDisabled";
constexpr char kRunAnsi[] = "Software\\TavrelTests\\Reliability\\Run";
constexpr char kParkedAnsi[] = "Software\\TavrelTests\\Reliability\\RunDisabled";
constexpr DWORD kLongestName = 16383;  // characters, the registry's own limit
constexpr size_t kLargestData = 64 * 1024;

struct Sandbox : support::KeySandbox {
    Sandbox() : KeySandbox(kBase) {}
};

// ---------------------------------------------------------------------------
// Seeds

// splitmix64: the same numbers from the same seed on every build.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    uint32_t Between(uint32_t low, uint32_t high) { return low + Below(high - low + 1); }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(static_cast<uint32_t>(items.size()))];
    }

private:
    uint64_t state_;
};

bool Environment(const wchar_t* name, uint64_t& number) {
    wchar_t text[32];
    DWORD length = GetEnvironmentVariableW(name, text, 32);
    if (length == 0 || length >= 32) return false;
    number = std::wcstoull(text, nullptr, 10);
    return true;
}

// One seed for the whole run, printed once, so that any failure can be replayed.
uint64_t RunSeed() {
    static const uint64_t seed = [] {
        uint64_t chosen = 0;
        if (!Environment(L"TAVREL_SEED", chosen)) {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            chosen = Random(static_cast<uint64_t>(now.QuadPart) ^ GetCurrentProcessId()).Next() %
                     1000000000000ull;
        }
        std::printf("reliability seed: %s (replay with TAVREL_SEED=%s)\n",
                    std::to_string(chosen).c_str(), std::to_string(chosen).c_str());
        std::fflush(stdout);
        return chosen;
    }();
    return seed;
}

// The cases a test runs: `count` of them, or only TAVREL_CASE, each with a
// generator of its own so that it replays alone.
struct Cases {
    uint64_t first = 0, end = 0;
    explicit Cases(uint64_t count) {
        uint64_t only = 0, wanted = 0;
        if (Environment(L"TAVREL_CASE", only)) {
            first = only;
            end = only + 1;
        } else {
            end = Environment(L"TAVREL_CASES", wanted) ? wanted : count;
        }
    }
    static Random For(uint64_t index) {
        return Random(Random(RunSeed() ^ (index * 0xD1B54A32D192ED03ull)).Next());
    }
    static std::string Label(uint64_t index) {
        std::string seed = std::to_string(RunSeed());
        return "case " + std::to_string(index) + " of seed " + seed +
               " (replay: TAVREL_SEED=" + seed + " TAVREL_CASE=" + std::to_string(index) + ")";
    }
};

// ---------------------------------------------------------------------------
// Contents

// Characters outside the ANSI code page: letters with and without case, a
// symbol, a private one and the replacement character.
constexpr wchar_t kWide[] = L"\u65E5\u672C\u0416\u0436\u03A3\u03C3\u2603\uE000\uFFFD";

std::wstring RandomName(Random& random) {
    uint32_t length;
    if (random.OneIn(12))
        length = 0;  // the key's default value
    else if (random.OneIn(40))
        length = kLongestName;
    else if (random.OneIn(20))
        length = random.Between(256, kLongestName);
    else
        length = random.Between(1, 12);
    std::wstring name;
    while (name.size() < length) {
        uint32_t kind = random.Below(10);
        std::wstring next;
        if (kind < 6)
            next = static_cast<wchar_t>(random.Between(0x20, 0x7E));  // backslash included
        else if (kind < 7)
            next = static_cast<wchar_t>(random.Between(0xA0, 0xFF));
        else if (kind < 8)
            next = static_cast<wchar_t>(random.Between(1, 0x1F));  // tab, newline and the like
        else if (kind < 9)
            next = kWide[random.Below(static_cast<uint32_t>(std::wcslen(kWide)))];
        else
            next = L"\U0001F680";  // a pair of surrogates
        if (name.size() + next.size() <= length) name += next;
    }
    return name;
}

// Letters of the other case where they have one: a name the registry takes
// as the same.
std::wstring OtherCase(std::wstring name) {
    for (wchar_t& c : name) {
        wchar_t upper = c, lower = c;
        CharUpperBuffW(&upper, 1);
        CharLowerBuffW(&lower, 1);
        c = c == upper ? lower : upper;
    }
    return name;
}

std::wstring Folded(std::wstring name) {
    if (!name.empty()) CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

Values::iterator FindFolded(Values& values, const std::wstring& name) {
    const std::wstring folded = Folded(name);
    for (auto it = values.begin(); it != values.end(); ++it)
        if (Folded(it->first) == folded) return it;
    return values.end();
}

Value RandomValue(Random& random) {
    Value value;
    if (random.OneIn(8))
        value.type = random.Pick(std::vector<DWORD>{12, 0x1234, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                                    static_cast<DWORD>(random.Next())});
    else
        value.type = random.Below(12);  // REG_NONE to REG_QWORD

    size_t size;
    if (random.OneIn(6))
        size = 0;
    else if (random.OneIn(25))
        size = random.OneIn(3) ? kLargestData : random.Between(4097, kLargestData);
    else if (random.OneIn(8))
        size = random.Between(65, 4096);
    else
        size = random.Between(1, 64);

    switch (random.Below(3)) {
        case 0:  // any bytes
            for (size_t i = 0; i < size; ++i)
                value.data.push_back(static_cast<BYTE>(random.Next()));
            break;
        case 1:  // mostly zeros, where a terminator could slip in
            for (size_t i = 0; i < size; ++i)
                value.data.push_back(random.OneIn(4) ? static_cast<BYTE>(random.Next()) : 0);
            break;
        default: {  // text, ending in its NUL or not
            std::wstring text;
            while (text.size() * 2 < size) text += static_cast<wchar_t>(random.Between(0x20, 0x7E));
            value.data = Bytes(text, random.OneIn(2));
            value.data.resize(size, 0);
        }
    }
    return value;
}

// Up to eight values under distinct names; `others` lends some of its names,
// as they are or in the other case.
Values RandomValues(Random& random, const Values& others) {
    Values values;
    uint32_t count = random.Between(0, 8);
    for (uint32_t i = 0; i < count; ++i) {
        std::wstring name = RandomName(random);
        if (!others.empty() && random.OneIn(3)) {
            auto shared = others.begin();
            std::advance(shared, random.Below(static_cast<uint32_t>(others.size())));
            name = random.OneIn(2) ? shared->first : OtherCase(shared->first);
        }
        if (FindFolded(values, name) == values.end()) values[name] = RandomValue(random);
    }
    return values;
}

// ---------------------------------------------------------------------------
// Places and states

struct Place {
    HKEY root;
    REGSAM view;
    const char* label;
};

const Place kUser{HKEY_CURRENT_USER, 0, "HKCU"};

std::vector<Place> Places() {
    std::vector<Place> places;
    for (REGSAM view : support::MachineViews())
        places.push_back({HKEY_LOCAL_MACHINE, view,
                          view == KEY_WOW64_64KEY   ? "HKLM, 64-bit view"
                          : view == KEY_WOW64_32KEY ? "HKLM, 32-bit view"
                                                    : "HKLM"});
    places.push_back(kUser);
    return places;
}

struct Keys {
    Values run, parked;
};
using State = std::vector<Keys>;  // one per place

State Read() {
    State state;
    for (const Place& place : Places())
        state.push_back({Get(place.root, kRun, place.view), Get(place.root, kParked, place.view)});
    return state;
}

// What the target holds once the source has moved in: its own values, each
// replaced by a moved one of the same name in any case, type included. The
// registry keeps the spelling of the name that stood there.
Values Merged(const Values& target, const Values& moved) {
    Values merged = target;
    for (auto& [name, value] : moved) {
        auto same = FindFolded(merged, name);
        if (same != merged.end())
            same->second = value;
        else
            merged[name] = value;
    }
    return merged;
}

size_t Count(const State& state, Values Keys::*which) {
    size_t count = 0;
    for (const Keys& keys : state) count += (keys.*which).size();
    return count;
}

std::string Difference(const Values& want, const Values& got) {
    std::string out;
    for (auto& [name, value] : want) {
        auto there = got.find(name);
        if (there == got.end()) {
            out += "missing " + Shown(name) + "; ";
        } else if (there->second != value) {
            out += Shown(name) + " is type " + std::to_string(there->second.type) + " of " +
                   std::to_string(there->second.data.size()) + " bytes, not type " +
                   std::to_string(value.type) + " of " + std::to_string(value.data.size()) + "; ";
        }
    }
    for (auto& [name, value] : got)
        if (!want.count(name)) out += "unexpected " + Shown(name) + "; ";
    return out;
}

void RequireHolds(const Place& place, const char* key, const Values& want, const Values& got) {
    const std::string where = std::string(place.label) + ", " + key;
    INFO(where);
    REQUIRE(Difference(want, got) == "");
}

// Writes the contents with the tests' own calls. What the platform refuses
// is noted once and left out.
State SetUp(const State& wanted, std::set<std::string>& refusals) {
    State state = wanted;
    std::vector<Place> places = Places();
    for (size_t p = 0; p < places.size(); ++p) {
        for (auto [path, values] :
             {std::make_pair(kRun, &state[p].run), std::make_pair(kParked, &state[p].parked)}) {
            if (values->empty()) continue;
            HKEY key = support::CreateForTest(places[p].root, path, places[p].view);
            for (auto it = values->begin(); it != values->end();) {
                LSTATUS status = support::PutValue(key, it->first, it->second);
                if (status == ERROR_SUCCESS) {
                    ++it;
                    continue;
                }
                refusals.insert("type " + std::to_string(it->second.type) + ", " +
                                std::to_string(it->second.data.size()) + " bytes, name of " +
                                std::to_string(it->first.size()) + " characters: error " +
                                std::to_string(status));
                it = values->erase(it);
            }
            RegCloseKey(key);
        }
    }
    return state;
}

State RandomState(Random& random) {
    State state;
    for (size_t p = 0; p < Places().size(); ++p) {
        Keys keys;
        keys.run = RandomValues(random, {});
        keys.parked = RandomValues(random, keys.run);
        state.push_back(keys);
    }
    return state;
}

void NoteRefusals(const std::set<std::string>& refusals) {
    for (const std::string& refusal : refusals) MESSAGE("the registry refused a value: ", refusal);
}

// What the cases covered, said once, so that a weak generator shows.
struct Coverage {
    int values = 0, defaults = 0, longest = 0, wide = 0, largest = 0, unknown = 0, shared = 0,
        otherCase = 0;

    void Add(const State& state) {
        for (const Keys& keys : state) {
            for (const Values* values : {&keys.run, &keys.parked}) {
                for (auto& [name, value] : *values) {
                    ++this->values;
                    defaults += name.empty();
                    longest += name.size() == kLongestName;
                    wide +=
                        std::any_of(name.begin(), name.end(), [](wchar_t c) { return c > 0xFF; });
                    largest += value.data.size() == kLargestData;
                    unknown += value.type > REG_QWORD;
                }
            }
            for (auto& [name, value] : keys.parked) {
                if (keys.run.count(name))
                    ++shared;
                else if (FindFolded(const_cast<Values&>(keys.run), name) != keys.run.end())
                    ++otherCase;
            }
        }
    }
    std::string Said() const {
        return std::to_string(values) + " values: " + std::to_string(defaults) + " default, " +
               std::to_string(longest) + " with names of 16,383 characters, " +
               std::to_string(wide) + " with names outside the ANSI code page, " +
               std::to_string(largest) + " of 64 KiB, " + std::to_string(unknown) +
               " of unknown types; " + std::to_string(shared) +
               " names in both keys as they are and " + std::to_string(otherCase) +
               " in the other case";
    }
};

// ---------------------------------------------------------------------------
// Counting steps

// How often the switch called each step.
struct StepCounts {
    int creates = 0, writes = 0, readBacks = 0, removes = 0;
};
StepCounts steps;

LSTATUS CountedCreate(HKEY root, const wchar_t* path, REGSAM view, HKEY* key) {
    ++steps.creates;
    return mGeneral::CreateKeyExact(root, path, view, key);
}
LSTATUS CountedWrite(HKEY key, const ExactValue& value) {
    ++steps.writes;
    return mGeneral::WriteExact(key, value);
}
LSTATUS CountedReadBack(HKEY key, const std::wstring& name, ExactValue& value) {
    ++steps.readBacks;
    return mGeneral::ReadExact(key, name, value);
}
LSTATUS CountedRemove(HKEY key, const std::wstring& name) {
    ++steps.removes;
    return mGeneral::DeleteExact(key, name);
}

MoveOptions Through(MoveOptions::CreateStep create, MoveOptions::WriteStep write,
                    MoveOptions::ReadStep readBack, MoveOptions::DeleteStep remove) {
    MoveOptions options;
    options.createTarget = create;
    options.write = write;
    options.readBack = readBack;
    options.remove = remove;
    return options;
}

MoveOptions Counted() {
    steps = {};
    return Through(CountedCreate, CountedWrite, CountedReadBack, CountedRemove);
}

// Each value is written, read back and deleted at most once; each place
// creates its target at most once.
void RequireBounded(size_t values) {
    INFO("creates ", steps.creates, ", writes ", steps.writes, ", read-backs ", steps.readBacks,
         ", deletes ", steps.removes, " for ", values, " values");
    REQUIRE(steps.creates <= static_cast<int>(Places().size()));
    REQUIRE(steps.writes <= static_cast<int>(values));
    REQUIRE(steps.readBacks <= static_cast<int>(values));
    REQUIRE(steps.removes <= static_cast<int>(values));
}

}  // namespace

TEST_CASE(
    "seeded contents: Power then Normal gives back every entry, and Power twice moves nothing") {
    constexpr uint64_t kCases = 500;
    std::set<std::string> refusals;
    Coverage coverage;
    std::vector<Place> places = Places();
    Cases cases(kCases);
    for (uint64_t index = cases.first; index < cases.end; ++index) {
        Sandbox sandbox;
        Random random = Cases::For(index);
        const State start = SetUp(RandomState(random), refusals);
        coverage.Add(start);
        INFO(Cases::Label(index));
        {
            State read = Read();
            for (size_t p = 0; p < places.size(); ++p) {
                RequireHolds(places[p], "Run as set up", start[p].run, read[p].run);
                RequireHolds(places[p], "RunDisabled as set up", start[p].parked, read[p].parked);
            }
        }
        const size_t running = Count(start, &Keys::run);

        MoveResult power = MoveStartupValues(kRun, kParked, Counted());
        RequireBounded(running);
        REQUIRE(power.moved == static_cast<int>(running));
        REQUIRE(power.kept == 0);
        State parked = Read();
        size_t merged = 0;
        for (size_t p = 0; p < places.size(); ++p) {
            RequireHolds(places[p], "Run after Power", {}, parked[p].run);
            Values expected = Merged(start[p].parked, start[p].run);
            merged += expected.size();
            RequireHolds(places[p], "RunDisabled after Power", expected, parked[p].parked);
        }

        MoveResult again = MoveStartupValues(kRun, kParked, Counted());
        REQUIRE(again.moved == 0);
        REQUIRE(again.kept == 0);
        REQUIRE(steps.writes + steps.removes == 0);
        State twice = Read();
        for (size_t p = 0; p < places.size(); ++p)
            RequireHolds(places[p], "RunDisabled after a second Power", parked[p].parked,
                         twice[p].parked);

        // Meanwhile some programs put their entries back, as an update may:
        // the same as the parked copy, or new. Normal never replaces those.
        State readdedWanted(places.size());
        for (size_t p = 0; p < places.size(); ++p)
            for (auto& [name, value] : parked[p].parked)
                if (random.OneIn(4))
                    readdedWanted[p].run[name] = random.OneIn(2) ? value : RandomValue(random);
        const State readded = SetUp(readdedWanted, refusals);

        MoveOptions restore = Counted();
        restore.keepTargetValues = true;
        MoveResult normal = MoveStartupValues(kParked, kRun, restore);
        RequireBounded(merged);
        State back = Read();
        int differing = 0;
        for (size_t p = 0; p < places.size(); ++p) {
            Values run = readded[p].run, stays;
            for (auto& [name, value] : parked[p].parked) {
                auto live = run.find(name);
                if (live == run.end())
                    run[name] = value;
                else if (live->second != value)
                    stays[name] = value;
            }
            differing += static_cast<int>(stays.size());
            RequireHolds(places[p], "Run after Normal", run, back[p].run);
            RequireHolds(places[p], "RunDisabled after Normal", stays, back[p].parked);
        }
        REQUIRE(normal.moved == static_cast<int>(merged) - differing);
        REQUIRE(normal.kept == differing);
    }
    NoteRefusals(refusals);
    MESSAGE(coverage.Said());
}

namespace {

// ---------------------------------------------------------------------------
// Faults

// One step failing, for one value (or for one key, for the create), in each
// of the ways it can: refused outright, done but reported as failed, or done
// wrong.
enum class Fault {
    CreateRefused,
    CreateDoneButReported,
    WriteRefused,
    WriteGarbled,
    WriteDoneButReported,
    WriteGarbledAndReported,
    ReadBackFails,
    ReadBackGarbled,
    DeleteRefused,
    DeleteDoneButReported,
};
constexpr int kFaults = 10;

const char* Named(Fault fault) {
    constexpr const char* kNames[kFaults] = {"create refused",
                                             "create done but reported failed",
                                             "write refused",
                                             "write garbled",
                                             "write done but reported failed",
                                             "write garbled and reported",
                                             "read-back fails",
                                             "read-back garbled",
                                             "delete refused",
                                             "delete done but reported failed"};
    return kNames[static_cast<int>(fault)];
}

struct Injection {
    Fault fault = Fault::WriteRefused;
    std::wstring victim;   // the value whose step fails
    int createVictim = 0;  // which create call fails, counted from 0
    int creates = 0;
    int fired = 0;
};
Injection injection;

ExactValue Garbled(ExactValue value) {
    if (value.data.empty())
        value.data.push_back(0xEE);
    else
        value.data.back() ^= 0x01;
    return value;
}

bool Fires(Fault fault, const std::wstring& name) {
    if (injection.fault != fault || name != injection.victim) return false;
    ++injection.fired;
    return true;
}

LSTATUS FaultyCreate(HKEY root, const wchar_t* path, REGSAM view, HKEY* key) {
    bool victim = injection.creates++ == injection.createVictim;
    if (victim && injection.fault == Fault::CreateRefused) {
        ++injection.fired;
        return ERROR_ACCESS_DENIED;
    }
    LSTATUS status = mGeneral::CreateKeyExact(root, path, view, key);
    if (victim && injection.fault == Fault::CreateDoneButReported) {
        ++injection.fired;
        return ERROR_ACCESS_DENIED;  // the handle is left for the switch to close
    }
    return status;
}

LSTATUS FaultyWrite(HKEY key, const ExactValue& value) {
    if (Fires(Fault::WriteRefused, value.name)) return ERROR_ACCESS_DENIED;
    if (Fires(Fault::WriteGarbled, value.name)) return mGeneral::WriteExact(key, Garbled(value));
    if (Fires(Fault::WriteDoneButReported, value.name)) {
        mGeneral::WriteExact(key, value);
        return ERROR_WRITE_FAULT;
    }
    if (Fires(Fault::WriteGarbledAndReported, value.name)) {
        mGeneral::WriteExact(key, Garbled(value));
        return ERROR_WRITE_FAULT;
    }
    return mGeneral::WriteExact(key, value);
}

LSTATUS FaultyReadBack(HKEY key, const std::wstring& name, ExactValue& value) {
    LSTATUS status = mGeneral::ReadExact(key, name, value);
    if (Fires(Fault::ReadBackFails, name)) return ERROR_READ_FAULT;
    if (status == ERROR_SUCCESS && Fires(Fault::ReadBackGarbled, name)) value = Garbled(value);
    return status;
}

LSTATUS FaultyRemove(HKEY key, const std::wstring& name) {
    if (Fires(Fault::DeleteRefused, name)) return ERROR_ACCESS_DENIED;
    if (Fires(Fault::DeleteDoneButReported, name)) {
        mGeneral::DeleteExact(key, name);
        return ERROR_ACCESS_DENIED;
    }
    return mGeneral::DeleteExact(key, name);
}

// Picks the victim among the values of the sources: a value's name, and the
// create call of its place.
void Aim(Fault fault, Random& random, const std::vector<const Values*>& sources) {
    injection = {};
    injection.fault = fault;
    std::vector<std::pair<int, std::wstring>> candidates;  // create call, name
    int call = 0;
    for (const Values* values : sources) {
        if (values->empty()) continue;
        for (auto& [name, value] : *values) candidates.push_back({call, name});
        ++call;
    }
    if (candidates.empty()) return;
    auto& [createCall, name] = random.Pick(candidates);
    injection.createVictim = createCall;
    injection.victim = name;
}

MoveOptions Faulty() { return Through(FaultyCreate, FaultyWrite, FaultyReadBack, FaultyRemove); }

// After a move that failed somewhere, every value of the source stands whole
// in the source or under its name in the target; the target's own values are
// as they were unless a moved value replaced them; nothing else changed but
// the victim's copy in the target.
void RequireNothingLost(const Place& place, const Values& source0, const Values& target0,
                        const Values& source, const Values& target) {
    const std::string where = place.label;
    INFO(where);
    for (auto& [name, value] : source0) {
        auto inSource = source.find(name);
        auto inTarget = FindFolded(const_cast<Values&>(target), name);
        bool whole = (inSource != source.end() && inSource->second == value) ||
                     (inTarget != target.end() && inTarget->second == value);
        INFO("lost ", Shown(name));
        REQUIRE(whole);
    }
    for (auto& [name, value] : source) {
        auto was = source0.find(name);
        INFO("in the source: ", Shown(name));
        REQUIRE((was != source0.end() && was->second == value));
    }
    const Values merged = Merged(target0, source0);
    const std::wstring victim = Folded(injection.victim);
    for (auto& [name, value] : target) {
        if (Folded(name) == victim) continue;
        auto after = merged.find(name);
        auto before = target0.find(name);
        INFO("in the target: ", Shown(name));
        REQUIRE(((after != merged.end() && after->second == value) ||
                 (before != target0.end() && before->second == value)));
    }
    for (auto& [name, value] : target0) {
        if (FindFolded(const_cast<Values&>(source0), name) != source0.end()) continue;
        auto now = target.find(name);
        INFO("the target's own ", Shown(name));
        REQUIRE((now != target.end() && now->second == value));
    }
}

}  // namespace

TEST_CASE("each step of a move failing for one value loses nothing, and the next run finishes") {
    constexpr uint64_t kCasesPerFault = 12;
    std::set<std::string> refusals;
    std::vector<Place> places = Places();
    int fired[kFaults] = {};
    Cases cases(kCasesPerFault * kFaults);
    for (uint64_t index = cases.first; index < cases.end; ++index) {
        const Fault fault = static_cast<Fault>(index % kFaults);
        Sandbox sandbox;
        Random random = Cases::For(index);
        const State start = SetUp(RandomState(random), refusals);
        const std::string label = Cases::Label(index) + ": " + Named(fault);
        INFO(label);
        const Values none;

        // Power, with the fault, then without.
        std::vector<const Values*> sources;
        for (const Keys& keys : start) sources.push_back(&keys.run);
        Aim(fault, random, sources);
        MoveResult faulty = MoveStartupValues(kRun, kParked, Faulty());
        fired[static_cast<int>(fault)] += injection.fired > 0;
        REQUIRE(faulty.moved + faulty.kept == static_cast<int>(Count(start, &Keys::run)));
        State after = Read();
        for (size_t p = 0; p < places.size(); ++p)
            RequireNothingLost(places[p], start[p].run, start[p].parked, after[p].run,
                               after[p].parked);
        MoveStartupValues(kRun, kParked);
        State parked = Read();
        for (size_t p = 0; p < places.size(); ++p) {
            RequireHolds(places[p], "Run after the next Power", none, parked[p].run);
            RequireHolds(places[p], "RunDisabled after the next Power",
                         Merged(start[p].parked, start[p].run), parked[p].parked);
        }

        // Normal, with the fault, then without.
        sources.clear();
        for (const Keys& keys : parked) sources.push_back(&keys.parked);
        Aim(fault, random, sources);
        faulty = MoveStartupValues(kParked, kRun, Faulty());
        fired[static_cast<int>(fault)] += injection.fired > 0;
        REQUIRE(faulty.moved + faulty.kept == static_cast<int>(Count(parked, &Keys::parked)));
        after = Read();
        for (size_t p = 0; p < places.size(); ++p)
            RequireNothingLost(places[p], parked[p].parked, none, after[p].parked, after[p].run);
        MoveStartupValues(kParked, kRun);
        State back = Read();
        for (size_t p = 0; p < places.size(); ++p) {
            RequireHolds(places[p], "Run after the next Normal", parked[p].parked, back[p].run);
            RequireHolds(places[p], "RunDisabled after the next Normal", none, back[p].parked);
        }
    }
    NoteRefusals(refusals);
    // Each way of failing was met at least once, or the run proved nothing of it.
    if (cases.end - cases.first == kCasesPerFault * kFaults) {
        for (int f = 0; f < kFaults; ++f) {
            const std::string named = Named(static_cast<Fault>(f));
            INFO(named);
            CHECK(fired[f] > 0);
        }
    }
}

namespace {

// ---------------------------------------------------------------------------
// Hostile contents

DWORD ValueCount(HKEY root, const wchar_t* path) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Power, a second Power, then Normal on HKEY_CURRENT_USER alone: the values
// park whole, the second Power finds nothing, and they all come back.
void RoundTrip(const Values& run, const Values& parked) {
    const Values merged = Merged(parked, run);
    MoveResult power = MoveStartupValues(kRun, kParked, Counted());
    RequireBounded(run.size());
    CHECK(power.moved == static_cast<int>(run.size()));
    RequireHolds(kUser, "Run after Power", {}, Get(HKEY_CURRENT_USER, kRun));
    RequireHolds(kUser, "RunDisabled after Power", merged, Get(HKEY_CURRENT_USER, kParked));
    CHECK(MoveStartupValues(kRun, kParked).moved == 0);
    MoveResult normal = MoveStartupValues(kParked, kRun, Counted());
    RequireBounded(merged.size());
    CHECK(normal.moved == static_cast<int>(merged.size()));
    RequireHolds(kUser, "Run after Normal", merged, Get(HKEY_CURRENT_USER, kRun));
    RequireHolds(kUser, "RunDisabled after Normal", {}, Get(HKEY_CURRENT_USER, kParked));
}

}  // namespace

TEST_CASE("a key with 40,000 values parks whole, each value written, read back and deleted once") {
    constexpr int kCount = 40000;
    Sandbox sandbox;
    Values run;
    for (int i = 0; i < kCount; ++i)
        run[L"Entry " + std::to_wstring(i)] = {
            REG_SZ, Bytes(L"C:\\Tools\\tool" + std::to_wstring(i) + L".exe /tray")};
    support::Put(HKEY_CURRENT_USER, kRun, run);

    MoveResult power = MoveStartupValues(kRun, kParked, Counted());
    CHECK(power.moved == kCount);
    CHECK(power.kept == 0);
    CHECK(steps.creates == 1);
    CHECK(steps.writes == kCount);
    CHECK(steps.readBacks == kCount);  // the copy, once
    CHECK(steps.removes == kCount);
    CHECK(ValueCount(HKEY_CURRENT_USER, kRun) == 0);
    CHECK(Difference(run, Get(HKEY_CURRENT_USER, kParked)) == "");
    // The module's own listing, through the ANSI calls, sees every one.
    CHECK(mGeneral::GetValueNames(HKEY_CURRENT_USER, kParkedAnsi).size() == size_t{kCount});
}

TEST_CASE("names of 16,383 characters move and list whole; the registry refuses a longer one") {
    Sandbox sandbox;
    std::wstring plain(kLongestName, L'a'), last = plain, wide(kLongestName, L'\u65E5'), mixed;
    last.back() = L'b';
    for (DWORD i = 0; i < kLongestName; ++i) mixed += i % 3 ? L'x' : L'\u0416';
    const Values run{{plain, {REG_SZ, Bytes(L"plain")}},
                     {last, {REG_EXPAND_SZ, Bytes(L"%windir%\\last.exe")}},
                     {wide, {REG_BINARY, std::vector<BYTE>(kLargestData, 0x7E)}},
                     {mixed, {REG_MULTI_SZ, Bytes(std::wstring(L"m\0n\0", 4))}}};
    const Values parked{{OtherCase(plain), {REG_DWORD, {1, 0, 0, 0}}},
                        {OtherCase(mixed), {REG_SZ, Bytes(L"parked")}}};
    support::Put(HKEY_CURRENT_USER, kRun, run);
    support::Put(HKEY_CURRENT_USER, kParked, parked);

    HKEY key = support::CreateForTest(HKEY_CURRENT_USER, kRun);
    CHECK(support::PutValue(key, std::wstring(kLongestName + 1, L'c'), {REG_SZ, Bytes(L"c")}) !=
          ERROR_SUCCESS);
    RegCloseKey(key);

    // The ANSI module lists each whole, the wide names as '?', and reads one.
    std::vector<std::string> names = mGeneral::GetValueNames(HKEY_CURRENT_USER, kRunAnsi);
    CHECK(names.size() == run.size());
    for (const std::string& name : names) CHECK(name.size() == kLongestName);
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, kRunAnsi, Narrow(plain)) ==
          mGeneral::RegistryValue::FromText("plain"));

    RoundTrip(run, parked);
}

TEST_CASE("a zero-length REG_SZ moves whole and reads as empty text") {
    Sandbox sandbox;
    const Values run{{L"Empty text", {REG_SZ, {}}},
                     {L"Empty expandable", {REG_EXPAND_SZ, {}}},
                     {L"Empty list", {REG_MULTI_SZ, {}}},
                     {L"", {REG_SZ, {}}}};
    support::Put(HKEY_CURRENT_USER, kRun, run);
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, kRunAnsi, "Empty text") ==
          mGeneral::RegistryValue::FromText(""));
    CHECK(mGeneral::GetValue(HKEY_CURRENT_USER, kRunAnsi, "") ==
          mGeneral::RegistryValue::FromText(""));
    RoundTrip(run, {});
}

namespace {

const Values kEight{{L"A", {REG_SZ, Bytes(L"a")}},        {L"B", {REG_EXPAND_SZ, Bytes(L"%b%")}},
                    {L"C", {REG_BINARY, {3, 3, 3}}},      {L"D", {REG_DWORD, {4, 0, 0, 0}}},
                    {L"E", {REG_SZ, Bytes(L"e")}},        {L"F", {REG_NONE, {}}},
                    {L"G", {REG_SZ, Bytes(L"g", false)}}, {L"H", {0x4321, {8}}}};

// The eight values under HKEY_CURRENT_USER, parked through `write`.
MoveResult ParkEightThrough(MoveOptions::WriteStep write) {
    support::Put(HKEY_CURRENT_USER, kRun, kEight);
    MoveOptions options;
    options.write = write;
    return MoveStartupValues(kRun, kParked, options);
}

// Another program at work on the source while the switch moves it: at the
// first write it changes the value in hand, deletes one value not yet moved
// and rewrites another; at every write it adds a value.
struct Meddling {
    int writes = 0;
    std::wstring inHand, deleted, rewritten;
    Value changed{REG_EXPAND_SZ, Bytes(L"%ProgramFiles%\\changed.exe")};
    Value grown{REG_BINARY, std::vector<BYTE>(kLargestData, 0x3C)};
};
Meddling meddling;

std::wstring Added(int n) { return L"Added " + std::to_wstring(n); }

LSTATUS MeddlingWrite(HKEY key, const ExactValue& value) {
    LSTATUS status = mGeneral::WriteExact(key, value);
    HKEY source = support::CreateForTest(HKEY_CURRENT_USER, kRun);
    if (++meddling.writes == 1) {
        meddling.inHand = value.name;
        support::PutValue(source, value.name, meddling.changed);
        for (auto& [name, unused] : kEight) {
            if (name == value.name) continue;
            if (meddling.deleted.empty())
                meddling.deleted = name;
            else if (meddling.rewritten.empty())
                meddling.rewritten = name;
        }
        RegDeleteValueW(source, meddling.deleted.c_str());
        support::PutValue(source, meddling.rewritten, meddling.grown);
    }
    support::PutValue(source, Added(meddling.writes), {REG_SZ, Bytes(L"new")});
    RegCloseKey(source);
    return status;
}

}  // namespace

TEST_CASE("values that change while the switch moves them: the newest of each is kept") {
    Sandbox sandbox;
    meddling = {};
    MoveResult result = ParkEightThrough(MeddlingWrite);

    // One write for each listed value still there: the values added meanwhile
    // wait for the next run, and the listing is not taken again.
    CHECK(meddling.writes == static_cast<int>(kEight.size()) - 1);
    CHECK(result.moved + result.kept == meddling.writes);
    Values parked = kEight, run{{meddling.inHand, meddling.changed}};
    parked.erase(meddling.deleted);
    parked[meddling.rewritten] = meddling.grown;
    for (int n = 1; n <= meddling.writes; ++n) run[Added(n)] = {REG_SZ, Bytes(L"new")};
    // The value changed in hand stays in the source, as it is now.
    RequireHolds(kUser, "Run", run, Get(HKEY_CURRENT_USER, kRun));
    RequireHolds(kUser, "RunDisabled", parked, Get(HKEY_CURRENT_USER, kParked));

    MoveStartupValues(kRun, kParked);
    RequireHolds(kUser, "Run after the next Power", {}, Get(HKEY_CURRENT_USER, kRun));
    RequireHolds(kUser, "RunDisabled after the next Power", Merged(parked, run),
                 Get(HKEY_CURRENT_USER, kParked));
}

namespace {

// Another program deletes a key of the move after the third write.
struct Vanishing {
    const wchar_t* key = kRun;
    int writes = 0;
    Values written;
};
Vanishing vanishing;

LSTATUS VanishingWrite(HKEY key, const ExactValue& value) {
    LSTATUS status = mGeneral::WriteExact(key, value);
    vanishing.written[value.name] = {value.type, value.data};
    if (++vanishing.writes == 3)
        CHECK(RegDeleteKeyW(HKEY_CURRENT_USER, vanishing.key) == ERROR_SUCCESS);
    return status;
}

}  // namespace

TEST_CASE("a source key that disappears mid-move ends the move; what was written stands whole") {
    Sandbox sandbox;
    vanishing = {};
    MoveResult result = ParkEightThrough(VanishingWrite);

    CHECK(vanishing.writes == 3);  // the rest went with the key, and nothing waits for them
    CHECK(result.moved == 2);
    CHECK(result.kept == 1);  // in hand as the key went: only in the target now
    CHECK_FALSE(support::KeyExists(HKEY_CURRENT_USER, kRun));
    RequireHolds(kUser, "RunDisabled", vanishing.written, Get(HKEY_CURRENT_USER, kParked));
    for (auto& [name, value] : vanishing.written) CHECK(kEight.at(name) == value);

    MoveResult again = MoveStartupValues(kRun, kParked);
    CHECK(again.moved == 0);
    CHECK(again.skipped == static_cast<int>(Places().size()));
}

TEST_CASE("a target key that disappears mid-move leaves the values not yet moved in the source") {
    Sandbox sandbox;
    vanishing = {};
    vanishing.key = kParked;
    MoveResult result = ParkEightThrough(VanishingWrite);

    CHECK(vanishing.writes == static_cast<int>(kEight.size()));  // each tried once, no more
    CHECK(result.moved == 2);
    CHECK(result.kept == static_cast<int>(kEight.size()) - 2);
    // The two moved before it went are gone with it, by the other program's
    // hand; every other value stands in the source as it was.
    Values run = Get(HKEY_CURRENT_USER, kRun);
    CHECK(run.size() == kEight.size() - 2);
    for (auto& [name, value] : run) CHECK(kEight.at(name) == value);

    MoveStartupValues(kRun, kParked);
    RequireHolds(kUser, "RunDisabled after the next Power", run, Get(HKEY_CURRENT_USER, kParked));
}

TEST_CASE("every way to handle 0 ends in calls that quietly do nothing") {
    using mGeneral::RegistryValue;
    Sandbox sandbox;
    // A non-volatile key cannot be made under a volatile one: a real refusal.
    HKEY base = support::CreateForTest(HKEY_CURRENT_USER, kBase), volatileKey;
    REQUIRE(RegCreateKeyExW(base, L"Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &volatileKey, nullptr) == ERROR_SUCCESS);
    RegCloseKey(volatileKey);
    RegCloseKey(base);
    const std::string basePath = Narrow(kBase);
    const std::wstring tooLong = std::wstring(kBase) + L"\\" + std::wstring(300, L'k');

    struct Way {
        const char* label;
        HKEY root;
        std::string path;
        bool creatable;  // CreateKey would make it: only OpenKey gives 0
    };
    const Way ways[] = {
        {"a key that is not there", HKEY_CURRENT_USER, basePath + "\\Missing", true},
        {"a key name longer than 255 characters", HKEY_CURRENT_USER, Narrow(tooLong), false},
        {"a key below a volatile key", HKEY_CURRENT_USER, basePath + "\\Volatile\\Lasting", false},
        {"no root", nullptr, basePath, false},
    };
    for (const Way& way : ways) {
        const std::string label = way.label;
        INFO(label);
        CHECK(mGeneral::OpenKey(way.root, way.path) == nullptr);
        if (!way.creatable) CHECK(mGeneral::CreateKey(way.root, way.path) == nullptr);
        if (way.creatable) continue;
        // The outer calls open or create it themselves, get 0 and go on with it.
        mGeneral::WriteValue(way.root, way.path, "a", RegistryValue::FromLong(1));
        mGeneral::WriteValue(way.root, way.path, "b", RegistryValue::FromText("b"));
        CHECK(mGeneral::GetValue(way.root, way.path, "a") == RegistryValue());
        mGeneral::RemoveValue(way.root, way.path, "a");
        CHECK(mGeneral::GetValueNames(way.root, way.path).empty());
    }
    // Nothing was made or written on the way.
    CHECK(Get(HKEY_CURRENT_USER, kBase).empty());
    HKEY volatileOpen;
    REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\TavrelTests\\Reliability\\Volatile", 0,
                          KEY_READ, &volatileOpen) == ERROR_SUCCESS);
    DWORD subkeys = 1, values = 1;
    RegQueryInfoKeyW(volatileOpen, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(volatileOpen);
    CHECK(subkeys == 0);
    CHECK(values == 0);

    // Every call on handle 0 itself, with every kind of value and the longest name.
    const std::string longest(kLongestName, 'n');
    for (const RegistryValue& value : {RegistryValue(), RegistryValue::FromInteger(-2),
                                       RegistryValue::FromLong(7), RegistryValue::FromText("text"),
                                       RegistryValue::FromBoolean(true), RegistryValue::Other()}) {
        std::string said = mGeneral::SetKeyValue(nullptr, longest, value);
        CHECK((said.empty() || said == "Unsupported value type"));
    }
    CHECK(mGeneral::ListValues(nullptr).empty());
    CHECK(mGeneral::ReadKeyValue(nullptr, longest) == RegistryValue());
    CHECK_FALSE(mGeneral::CloseKey(nullptr));
    std::vector<std::wstring> names;
    CHECK_FALSE(mGeneral::ListNamesExact(nullptr, names));
    CHECK(names.empty());
    ExactValue read;
    CHECK(mGeneral::ReadExact(nullptr, L"a", read) != ERROR_SUCCESS);
    CHECK(read.data.empty());
    CHECK(mGeneral::WriteExact(nullptr, {L"a", REG_SZ, Bytes(L"a")}) != ERROR_SUCCESS);
    CHECK(mGeneral::DeleteExact(nullptr, L"a") != ERROR_SUCCESS);

    // The switch with a source it cannot open moves nothing anywhere; with a
    // target it cannot create, it keeps every value where it was.
    support::Put(HKEY_CURRENT_USER, kRun, kEight);
    MoveResult fromNowhere = MoveStartupValues(tooLong.c_str(), kRun);
    CHECK(fromNowhere.skipped == static_cast<int>(Places().size()));
    CHECK(fromNowhere.moved == 0);
    MoveResult toNowhere = MoveStartupValues(kRun, tooLong.c_str());
    CHECK(toNowhere.moved == 0);
    CHECK(toNowhere.kept == static_cast<int>(kEight.size()));
    CHECK(Difference(kEight, Get(HKEY_CURRENT_USER, kRun)) == "");
}
