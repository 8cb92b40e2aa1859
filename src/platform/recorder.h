#pragma once
// A Platform that performs nothing and remembers every call, for tests.
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class Recorder final : public Platform {
public:
    Recorder();
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool StartCommand(const Command& command) override;

    // One line per call, in order, e.g. "StartCommand C:\windows\explorer.exe|url|2".
    std::vector<std::wstring> calls;
    std::vector<Command> commands;
    bool startResult = true;

private:
    Platform* previous_;
};

}  // namespace platform
