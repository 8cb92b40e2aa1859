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
    size_t count = 0, optionCount = 0;
    const Action* table = Actions(count);
    const Option* options = Options(optionCount);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring name = Switch(arguments[i]);
        if (name.empty()) return Refuse(L"Not an argument: " + arguments[i]);
        const Option* option = nullptr;
        for (size_t o = 0; o < optionCount && !option; ++o)
            if (Same(name, options[o].argument)) option = &options[o];
        if (option) {
            if (request.options & option->bit) return Refuse(arguments[i] + L" is given twice.");
            request.options |= option->bit;
            if (!option->text) continue;
            if (i + 1 >= arguments.size())
                return Refuse(arguments[i] + L" takes " + option->value + L".");
            request.place = arguments[++i];
            continue;
        }
        const Action* found = nullptr;
        std::wstring words;  // what the argument takes, for the refusal
        for (size_t row = 0; row < count && !found; ++row) {
            const Action& action = table[row];
            if (!action.argument || !Same(name, action.argument)) continue;
            // A name is any word, "" and one that starts with / or - too.
            if (!action.value ||
                (i + 1 < arguments.size() &&
                 (action.value == kNameValue || Same(arguments[i + 1], action.value))))
                found = &action;
            else
                words += (words.empty() ? L"" : L" or ") + std::wstring(action.value);
        }
        if (!found && words.empty()) return Refuse(L"Unknown argument: " + arguments[i]);
        if (!found) return Refuse(arguments[i] + L" takes " + words + L".");
        if (request.action) return Refuse(L"One action at a time, please.");
        request.action = found;
        if (found->value == kNameValue) request.name = arguments[i + 1];
        if (found->value) ++i;
    }
    if (!request.action) return Refuse(L"No action given.");
    for (size_t o = 0; o < optionCount; ++o)
        if ((request.options & options[o].bit) && !(request.action->options & options[o].bit))
            return Refuse(L"/" + std::wstring(options[o].argument) + L" goes with " +
                          OptionUsers(options[o].bit) + L" only.");
    return request;
}

int RunCommandLine(const std::vector<std::wstring>& arguments, Program program) {
    Request request = ParseArguments(arguments);
    Outcome outcome = kRefused;
    ActionContext context;
    if (request.action) {
        size_t optionCount = 0;
        const Option* options = Options(optionCount);
        for (size_t o = 0; o < optionCount; ++o)
            if (options[o].field)
                context.*options[o].field = (request.options & options[o].bit) != 0;
        context.name = request.name;
        context.place = request.place;
        outcome = RunAction(*request.action, context);
    } else {
        context.report = request.error + L"\n\n" + Usage();
    }
    if (!context.report.empty()) {
        UINT style = outcome == kPartly    ? MB_ICONEXCLAMATION
                     : outcome == kRefused ? MB_ICONSTOP
                                           : MB_ICONINFORMATION;
        platform::WriteOutput(context.report, style, program == kWindowsProgram);
    }
    return outcome;
}

}  // namespace shell
