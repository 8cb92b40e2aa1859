#include "startup/MoveStartupValues.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "base/escape.h"
#include "base/handle.h"
#include "base/text.h"
#include "platform/platform.h"
#include "startup/KeepList.h"
#include "startup/StartupFolders.h"
#include "startup/WindowsOwn.h"

namespace {

using mGeneral::ExactValue;

// Each place, as the report names it.
constexpr const wchar_t* kWhere[kPlaceCount] = {L"for all users", L"for this user",
                                                L"in the Startup folder for all users",
                                                L"in this user's Startup folder"};

KeptReason WhyRefused(LSTATUS status) {
    return status == ERROR_ACCESS_DENIED ? kNeedsAdministrator : kNotWritten;
}

// What creating the target would answer, without creating it: it opens as
// the create opens it, or where missing, its parent (the source's, for the
// switch) opens to create subkeys, and `key` stays empty.
LSTATUS TryTarget(HKEY root, const wchar_t* path, REGSAM view, base::KeyHandle& key) {
    LSTATUS status =
        mGeneral::OpenKeyExact(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE | view, key.Put());
    if (status != ERROR_FILE_NOT_FOUND) return status;
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    const std::wstring above(path, slash ? slash - path : 0);
    base::KeyHandle parent;
    return mGeneral::OpenKeyExact(root, above.c_str(), KEY_CREATE_SUB_KEY | view, parent.Put());
}

// Moves every value of the source key of one place, or only the entries
// `only` names.
void MoveKey(HKEY root, REGSAM view, const wchar_t* source, const wchar_t* target,
             const MoveOptions& options, MoveResult& result, const PlaceEntries* only = nullptr) {
    const MovePlace place = root == HKEY_LOCAL_MACHINE ? kMachineWide : kThisUser;
    // With fingerprints, each entry moved back must still be what was moved.
    const bool checked = only && !only->hashes.empty();
    if (checked && only->hashes.size() != only->names.size()) return;
    auto keep = [&](const std::wstring& name, KeptReason reason) {
        result.Keep(place, reason);
        if (options.log) options.log->Kept(place, view, name, reason);
    };
    // Each of `names` that is to move (not one a record says stayed) stays.
    auto keepAll = [&](const std::vector<std::wstring>& names, KeptReason reason) {
        for (size_t i = 0; i < names.size(); ++i)
            if (!checked || only->hashes[i]) keep(names[i], reason);
    };
    base::KeyHandle from;
    LSTATUS opened =
        options.openSource(root, source, KEY_QUERY_VALUE | KEY_SET_VALUE | view, from.Put());
    if (opened != ERROR_SUCCESS) {
        ++result.skipped;
        if (opened == ERROR_FILE_NOT_FOUND) {
            // Nothing there to move; entries a record says were moved are gone.
            if (checked) keepAll(only->names, kChangedSince);
            return;
        }
        if (only) {
            keepAll(only->names, WhyRefused(opened));
            return;
        }
        // Refused, typically HKEY_LOCAL_MACHINE for a standard user: what
        // stays behind is counted, so that the user hears of it.
        base::KeyHandle reader;
        std::vector<std::wstring> names;
        if (RegOpenKeyExW(root, source, 0, KEY_QUERY_VALUE | view, reader.Put()) == ERROR_SUCCESS &&
            mGeneral::ListNamesExact(reader.Get(), names)) {
            keepAll(names, WhyRefused(opened));
        } else {
            result.unreadable[place] = true;
            if (options.log) options.log->Unreadable(place, view);
        }
        return;
    }
    // The names are listed once; the moves below do not change the list.
    std::vector<std::wstring> listed;
    if (!only) mGeneral::ListNamesExact(from.Get(), listed);
    const std::vector<std::wstring>& names = only ? only->names : listed;
    auto moves = [](uint64_t hash) { return hash != 0; };
    if (checked ? std::none_of(only->hashes.begin(), only->hashes.end(), moves) : names.empty())
        return;  // nothing to move: the target is not created
    if (options.log && !options.log->Planned(place, view, names)) {
        keepAll(names, kNotRecorded);
        return;
    }

    base::KeyHandle to;
    if (LSTATUS created = options.dryRun ? TryTarget(root, target, view, to)
                                         : options.createTarget(root, target, view, to.Put());
        created != ERROR_SUCCESS) {
        keepAll(names, WhyRefused(created));
        return;
    }
    // Read into the same buffers each time: most values fit them. A target
    // that a dry run found missing holds none of them.
    ExactValue value, there, now;
    auto inTarget = [&](const std::wstring& name) {
        return to && mGeneral::ReadExact(to.Get(), name, there) == ERROR_SUCCESS;
    };
    for (size_t i = 0; i < names.size(); ++i) {
        const std::wstring& name = names[i];
        if (checked && !only->hashes[i]) continue;  // it stayed where it was
        if (mGeneral::ReadExact(from.Get(), name, value) != ERROR_SUCCESS ||
            (checked && mGeneral::ValueHash(value) != only->hashes[i])) {
            // Gone, or changed since it was moved: it is no longer ours to move,
            // unless an earlier move back, cut short, already put it in place.
            if (checked && !(inTarget(name) && mGeneral::ValueHash(there) == only->hashes[i]))
                keep(name, kChangedSince);
            continue;
        }
        if (!only && LeftAlone(options, place, view, name,
                               options.keepWindowsOwn && !WindowsOwnProgram(value).empty(), result))
            continue;
        bool alreadyThere = false;
        if (options.keepTargetValues && inTarget(name)) {
            if (!mGeneral::SameValue(there, value)) {
                keep(name, kLiveEntryDiffers);
                continue;
            }
            alreadyThere = true;
        }
        // A dry run goes no further: all that is left is to write.
        if (!options.dryRun) {
            // The source may go only once the target holds the value byte for
            // byte: put there by this write or, where the write fails, left by a
            // move that was cut short before its delete.
            LSTATUS written = alreadyThere ? ERROR_SUCCESS : options.write(to.Get(), value);
            if (options.readBack(to.Get(), name, there) != ERROR_SUCCESS ||
                !mGeneral::SameValue(there, value)) {
                keep(name, WhyRefused(written));
                continue;
            }
            // Another program may have changed the value since it was read: take
            // out only the one the target holds, and leave a newer one for the next run.
            if (mGeneral::ReadExact(from.Get(), name, now) != ERROR_SUCCESS ||
                !mGeneral::SameValue(now, value)) {
                keep(name, kChangedMeanwhile);
                continue;
            }
            // A copy this move wrote and the source kept too is a change made,
            // whatever the reason the source gave.
            if (LSTATUS removed = options.remove(from.Get(), name); removed != ERROR_SUCCESS) {
                keep(name,
                     written == ERROR_SUCCESS && !alreadyThere ? kNotRemoved : WhyRefused(removed));
                continue;
            }
        }
        ++result.moved;
        if (options.log) options.log->Moved(i, name, mGeneral::ValueHash(value));
    }
}

// Kernel objects that any copy of the program may open, whoever started it
// and whether elevated or not.
struct OpenToAll {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
    OpenToAll() {
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
        attributes = {sizeof attributes, &descriptor, FALSE};
    }
};

}  // namespace

const wchar_t* PlaceWhere(MovePlace place) { return kWhere[place]; }

bool LeftAlone(const MoveOptions& options, MovePlace place, REGSAM view, const std::wstring& name,
               bool windowsOwn, MoveResult& result) {
    const Keeper kept = options.keep ? options.keep->Of(PlaceOf(place, view), name) : Keeper::kNone;
    const KeptReason why = kept == Keeper::kAdministrator ? kKeptByAdministrator
                           : kept == Keeper::kUser        ? kKeptByYou
                           : windowsOwn                   ? kWindowsOwn
                                                          : kReasonCount;
    if (why == kReasonCount) return false;
    result.leftAlone.push_back({why, base::Cat({base::Quoted(name), L" ", kWhere[place]})});
    if (options.log) options.log->Kept(place, view, name, why);
    return true;
}

bool MoveResult::Complete() const {
    return kept == 0 && std::none_of(std::begin(unreadable), std::end(unreadable),
                                     [](bool unread) { return unread; });
}

void MoveResult::Keep(MovePlace place, KeptReason reason, int count) {
    kept += count;
    keptBy[place][reason] += count;
}

MoveResult MoveStartupValues(const wchar_t* source, const wchar_t* target,
                             const MoveOptions& options) {
    MoveResult result;
    for (REGSAM view : StartupMachineViews())
        MoveKey(HKEY_LOCAL_MACHINE, view, source, target, options, result);
    MoveKey(HKEY_CURRENT_USER, 0, source, target, options, result);
    if (options.folders)
        for (const StartupFolder& folder : *options.folders)
            MoveFolderItems(folder, options.parkFolders, options, result, nullptr);
    return result;
}

MoveResult MoveNamedValues(const wchar_t* source, const wchar_t* target,
                           const std::vector<PlaceEntries>& entries, const MoveOptions& options) {
    MoveResult result;
    for (const PlaceEntries& place : entries) {
        if (!IsFolder(place.place)) {
            MoveKey(place.place == kMachineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                    place.view, source, target, options, result, &place);
            continue;
        }
        // A folder the system no longer names has nothing of the record's.
        const StartupFolder* folder = nullptr;
        if (options.folders)
            for (const StartupFolder& each : *options.folders)
                if (each.place == place.place) folder = &each;
        if (folder)
            MoveFolderItems(*folder, options.parkFolders, options, result, &place);
        else
            for (uint64_t hash : place.hashes) result.Keep(place.place, kChangedSince, hash != 0);
    }
    return result;
}

std::vector<REGSAM> StartupMachineViews() {
    if (platform::Is64BitWindows()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};
}

StartupSwitchLock::StartupSwitchLock(DWORD waitMs) {
    OpenToAll everyone;
    const DWORD start = GetTickCount();
    // Always in this order, so that two copies never hold one each.
    const wchar_t* names[] = {L"Local\\TavrelStartupSwitch", L"Global\\TavrelStartupSwitch"};
    for (const wchar_t* name : names) {
        HANDLE mutex = CreateMutexW(&everyone.attributes, FALSE, name);
        if (!mutex && GetLastError() == ERROR_ACCESS_DENIED)
            mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
        if (!mutex) continue;  // no such namespace here
        mutexes_[owned_] = mutex;
        DWORD spent = GetTickCount() - start;
        DWORD wait = WaitForSingleObject(mutex, spent < waitMs ? waitMs - spent : 0);
        // An abandoned lock was held by a copy that ended mid-move; the move
        // is made to be finished by the next run.
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
            CloseHandle(mutex);
            mutexes_[owned_] = nullptr;
            return;
        }
        ++owned_;
    }
    // Neither name could be opened (another program's object of another
    // kind may hold both): moving without the lock could lose entries.
    unavailable_ = owned_ == 0;
    held_ = !unavailable_;
}

StartupSwitchLock::~StartupSwitchLock() {
    for (int i = owned_ - 1; i >= 0; --i) {
        ReleaseMutex(mutexes_[i]);
        CloseHandle(mutexes_[i]);
    }
}

namespace {

// Under the switch's lock, with the Startup folders as the system names them
// now: `only` the entries named, or every one.
bool LockedMove(const wchar_t* source, const wchar_t* target, MoveOptions& options,
                MoveResult& result, DWORD waitMs, const PlaceEntries* only = nullptr) {
    StartupSwitchLock lock(waitMs);
    result.lockUnavailable = lock.Unavailable();
    if (!lock.Held()) return false;
    const std::vector<StartupFolder> folders = StartupFolders();
    options.folders = &folders;
    result = only ? MoveNamedValues(source, target, {*only}, options)
                  : MoveStartupValues(source, target, options);
    return true;
}

}  // namespace

std::wstring Entries(int count) {
    return base::Decimal(static_cast<unsigned>(count)) + (count == 1 ? L" entry" : L" entries");
}

std::wstring Items(int count) {
    return base::Decimal(static_cast<unsigned>(count)) + (count == 1 ? L" item" : L" items");
}

bool ParkStartupValues(MoveResult& result, DWORD waitMs, MoveLog* log) {
    const KeepList keep = KeepList::Load();
    MoveOptions park;
    park.keepWindowsOwn = true;
    park.keep = &keep;
    park.parkFolders = true;
    park.log = log;
    return LockedMove(kStartupKey, kParkingKey, park, result, waitMs);
}

bool MoveOneEntry(const PlaceEntries& entry, bool park, MoveResult& result, DWORD waitMs,
                  MoveLog* log) {
    MoveOptions options;
    options.keepTargetValues = !park;
    options.parkFolders = park;
    options.log = log;
    return LockedMove(park ? kStartupKey : kParkingKey, park ? kParkingKey : kStartupKey, options,
                      result, waitMs, &entry);
}

bool RestoreStartupValues(MoveResult& result, DWORD waitMs, MoveLog* log) {
    MoveOptions restore;
    restore.keepTargetValues = true;
    restore.log = log;
    return LockedMove(kParkingKey, kStartupKey, restore, result, waitMs);
}

const wchar_t* WhyKept(KeptReason reason, bool several) {
    // Each reason for one entry, then for several.
    static const wchar_t* const kWhy[kReasonCount][2] = {
        {L"moving it needs an administrator", L"moving them needs an administrator"},
        {L"another program changed it during the move",
         L"another program changed them during the move"},
        {L"the start-up list already holds a different entry of that name, which was kept; the "
         L"parked copy stays parked",
         L"the start-up list already holds different entries of those names, which were kept; "
         L"the parked copies stay parked"},
        {L"it could not be written whole", L"they could not be written whole"},
        {L"it was copied, but could not be taken out of where it was, so it is now in both "
         L"places",
         L"they were copied, but could not be taken out of where they were, so they are now in "
         L"both places"},
        {L"it was changed or removed after Tavrel moved it",
         L"they were changed or removed after Tavrel moved them"},
        {L"Tavrel could not record the move first", L"Tavrel could not record the move first"},
        {L"it is one of Windows' own, run from the Windows folder",
         L"they are Windows' own, run from the Windows folder"},
        {L"an item of that name is parked already, so this one stays where it is",
         L"items of those names are parked already, so these stay where they are"},
        {L"the Startup folder already holds an item of that name, which was kept; the parked "
         L"one stays parked",
         L"the Startup folder already holds items of those names, which were kept; the parked "
         L"ones stay parked"},
        {L"Tavrel's parking folder for them could have been changed by users who are not "
         L"administrators, so nothing moves into or out of it",
         L"Tavrel's parking folder for them could have been changed by users who are not "
         L"administrators, so nothing moves into or out of it"},
        {L"it is in use, or Windows would not let it move in one step",
         L"they are in use, or Windows would not let them move in one step"},
        {L"it is on your keep-list", L"they are on your keep-list"},
        {L"your administrator keeps it", L"your administrator keeps them"},
    };
    return kWhy[reason][several ? 1 : 0];
}

std::wstring DescribeKept(const MoveResult& result) {
    if (result.Complete()) return {};
    std::wstring text = L"Not every start-up entry could be moved. Left where they were:";
    for (int place = 0; place < kPlaceCount; ++place) {
        for (int reason = 0; reason < kReasonCount; ++reason)
            if (int count = result.keptBy[place][reason])
                text += base::Cat(
                    {L"\n- ",
                     IsFolder(static_cast<MovePlace>(place)) ? Items(count) : Entries(count), L" ",
                     kWhere[place], L": ", WhyKept(static_cast<KeptReason>(reason), count != 1),
                     L"."});
        if (result.unreadable[place])
            text += std::wstring(L"\n- the entries ") + kWhere[place] +
                    L": they could not even be read; that needs an administrator.";
    }
    if (!result.untrustedFolder.empty())
        text += base::Cat({L"\n- Check what ", result.untrustedFolder,
                           L" holds, and who may change it, before anything is moved there."});
    return text;
}
