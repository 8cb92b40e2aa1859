#include "startup/MoveStartupValues.h"

#include <string>
#include <vector>

#include "platform/platform.h"
#include "toolkit/handle.h"

namespace {

using mGeneral::ExactValue;

void MoveKey(HKEY root, REGSAM view, const wchar_t* source, const wchar_t* target,
             const MoveOptions& options, MoveResult& result) {
    tk::KeyHandle from;
    if (RegOpenKeyExW(root, source, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | view, from.Put()) !=
        ERROR_SUCCESS) {
        ++result.skipped;
        return;
    }
    // The names are listed once; the moves below do not change the list.
    std::vector<std::wstring> names;
    mGeneral::ListNamesExact(from.Get(), names);
    if (names.empty()) return;  // nothing to move: the target is not created

    tk::KeyHandle to;
    if (options.createTarget(root, target, view, to.Put()) != ERROR_SUCCESS) {
        result.kept += static_cast<int>(names.size());
        return;
    }
    // Read into the same buffers each time: most values fit them.
    ExactValue value, there, now;
    for (const std::wstring& name : names) {
        if (mGeneral::ReadExact(from.Get(), name, value) != ERROR_SUCCESS) continue;  // gone
        // The source may go only once the target holds the value byte for
        // byte: put there by this write or, where the write fails, left by a
        // move that was cut short before its delete.
        options.write(to.Get(), value);
        if (options.readBack(to.Get(), name, there) != ERROR_SUCCESS ||
            !mGeneral::SameValue(there, value)) {
            ++result.kept;
            continue;
        }
        // Another program may have changed the value since it was read: take
        // out only the one the target holds, and leave a newer one for the next run.
        if (mGeneral::ReadExact(from.Get(), name, now) != ERROR_SUCCESS ||
            !mGeneral::SameValue(now, value)) {
            ++result.kept;
            continue;
        }
        if (options.remove(from.Get(), name) == ERROR_SUCCESS)
            ++result.moved;
        else
            ++result.kept;
    }
}

}  // namespace

MoveResult MoveStartupValues(const wchar_t* source, const wchar_t* target,
                             const MoveOptions& options) {
    MoveResult result;
    // Windows starts programs from both views of HKEY_LOCAL_MACHINE.
    std::vector<REGSAM> machineViews{0};
    if (platform::Is64BitWindows()) machineViews = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    for (REGSAM view : machineViews)
        MoveKey(HKEY_LOCAL_MACHINE, view, source, target, options, result);
    MoveKey(HKEY_CURRENT_USER, 0, source, target, options, result);
    return result;
}
