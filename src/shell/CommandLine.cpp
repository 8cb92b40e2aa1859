#include "shell/CommandLine.h"

#include <windows.h>

#include "platform/output.h"

namespace shell {
namespace {

bool Same(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

// "/Name" or "-Name", any case; the name without its sign, or empty.
std::wstring Switch(const std::wstring& argument) {
    if (argument.size() < 2 || (argument[0] != L'/' && argument[0] != L'-')) return {};
    return argument.substr(1);
}

Request Refuse(const std::wstring& why) {
    Request request;
    request.error = why;
    return request;
}

}  // namespace

Request ParseArguments(const std::vector<std::wstring>& arguments) {
    Request request;
    size_t count = 0;
    const Action* table = Actions(count);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring name = Switch(arguments[i]);
        if (name.empty()) return Refuse(L"Not an argument: " + arguments[i]);
        // The two words that go with an action.
        bool* modifier = Same(name, L"NoRestart") ? &request.noRestart
                         : Same(name, L"WhatIf")  ? &request.whatIf
                                                  : nullptr;
        if (modifier) {
            if (*modifier) return Refuse(arguments[i] + L" is given twice.");
            *modifier = true;
            continue;
        }
        const Action* found = nullptr;
        std::wstring words;  // what the argument takes, for the refusal
        for (size_t row = 0; row < count && !found; ++row) {
            const Action& action = table[row];
            if (!action.argument || !Same(name, action.argument)) continue;
            if (!action.value)
                found = &action;
            else if (i + 1 < arguments.size() && Same(arguments[i + 1], action.value))
                found = &action;
            else
                words += (words.empty() ? L"" : L" or ") + std::wstring(action.value);
        }
        if (!found && words.empty()) return Refuse(L"Unknown argument: " + arguments[i]);
        if (!found) return Refuse(arguments[i] + L" takes " + words + L".");
        if (request.action) return Refuse(L"One action at a time, please.");
        request.action = found;
        if (found->value) ++i;
    }
    if (!request.action) return Refuse(L"No action given.");
    if (request.noRestart && request.action->id != ActionId::kPowerBootup &&
        request.action->id != ActionId::kNormalBootup)
        return Refuse(L"/NoRestart goes with /PowerBootup or /NormalBootup only.");
    if (request.whatIf && !request.action->title)
        return Refuse(
            L"/WhatIf goes with an action that changes something, such as /Mtu 68 or "
            L"/Undo.");
    return request;
}

int RunCommandLine(const std::vector<std::wstring>& arguments) {
    Request request = ParseArguments(arguments);
    Outcome outcome = kRefused;
    ActionContext context;
    if (request.action) {
        context.noRestart = request.noRestart;
        context.whatIf = request.whatIf;
        outcome = RunAction(*request.action, context);
    } else {
        context.report = request.error + L"\n\n" + kUsage;
    }
    if (!context.report.empty()) {
        UINT style = outcome == kDone     ? MB_ICONINFORMATION
                     : outcome == kPartly ? MB_ICONEXCLAMATION
                                          : MB_ICONSTOP;
        platform::WriteOutput(context.report, style);
    }
    return outcome;
}

}  // namespace shell
