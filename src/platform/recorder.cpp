#include "platform/recorder.h"

namespace platform {

Recorder::Recorder() : previous_(Install(this)) {}

Recorder::~Recorder() { Install(previous_); }

bool Recorder::StartCommand(const Command& command) {
    commands.push_back(command);
    calls.push_back(L"StartCommand " + command.program + L"|" + command.arguments + L"|" +
                    std::to_wstring(command.show));
    return startResult;
}

}  // namespace platform
