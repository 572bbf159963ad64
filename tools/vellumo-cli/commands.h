// Command registry of vellumo-cli. Each command group lives in its own source
// file and registers its commands with a static CommandRegistration.
#pragma once

#include <string>
#include <vector>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitLoad = 1;  // the book cannot be loaded
constexpr int kExitUsage = 2;

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;  // e.g. "stat FILE"; null hides the command from --help
    const char* help;   // one line for --help
    size_t minArgs, maxArgs;
    int (*run)(const Args& args);
};

// All registered commands, sorted by name.
const std::vector<Command>& commands();

struct CommandRegistration {
    explicit CommandRegistration(const Command& c);
};

}  // namespace cli
