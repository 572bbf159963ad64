// vellumo-cli: the engine's headless face. Every command prints stable,
// scriptable text on standard output and diagnostics on standard error.
// Exit status: 0 success, 1 the book cannot be loaded, 2 wrong usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "commands.h"

namespace cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> list;
    return list;
}
}  // namespace

const std::vector<Command>& commands() { return registry(); }

CommandRegistration::CommandRegistration(const Command& c) {
    auto& list = registry();
    auto pos = list.begin();
    while (pos != list.end() && std::strcmp(pos->name, c.name) < 0) ++pos;
    list.insert(pos, c);
}

}  // namespace cli

using namespace cli;

namespace {

void printHelp(FILE* out) {
    fprintf(out,
            "usage: vellumo-cli [--log LEVEL] COMMAND [ARGS]\n"
            "       vellumo-cli --help | --version\n\n"
            "commands:\n");
    for (const Command& c : commands())
        if (c.usage) fprintf(out, "  %-22s %s\n", c.usage, c.help);
    fprintf(out,
            "\noptions:\n"
            "  --log LEVEL            log the engine's messages to standard error\n"
            "                         (0-5, or error, warn, info, debug, trace)\n\n"
            "exit status: 0 success, 1 the book cannot be loaded, 2 wrong usage\n");
}

int parseLevel(const std::string& s) {
    static const char* names[] = {"none", "error", "warn", "info", "debug", "trace"};
    for (int i = 0; i <= 5; ++i)
        if (s == names[i] || s == std::to_string(i)) return i;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argv + 1, argv + argc);
    std::unique_ptr<StderrLogger> logger;
    size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            printHelp(stdout);
            return kExitOk;
        }
        if (a == "--version") {
            printf("vellumo-cli %s\n", VELLUMO_VERSION);
            return kExitOk;
        }
        std::string level;
        if (a == "--log" && i + 1 < args.size()) {
            level = args[++i];
        } else if (a.rfind("--log=", 0) == 0) {
            level = a.substr(6);
        } else {
            fprintf(stderr, "vellumo-cli: unknown option %s\n", a.c_str());
            return kExitUsage;
        }
        int n = parseLevel(level);
        if (n < 0) {
            fprintf(stderr, "vellumo-cli: bad log level '%s'\n", level.c_str());
            return kExitUsage;
        }
        logger = std::make_unique<StderrLogger>(n);
        setEngineLogger(logger.get());
    }
    if (i >= args.size()) {
        printHelp(stderr);
        return kExitUsage;
    }
    const std::string& name = args[i];
    Args rest(args.begin() + static_cast<long>(i) + 1, args.end());
    for (const Command& c : commands()) {
        if (name != c.name) continue;
        if (rest.size() < c.minArgs || rest.size() > c.maxArgs) {
            fprintf(stderr, "usage: vellumo-cli %s\n", c.usage ? c.usage : c.name);
            return kExitUsage;
        }
        int rc = c.run(rest);
        setEngineLogger(nullptr);
        return rc;
    }
    fprintf(stderr, "vellumo-cli: unknown command '%s' (see --help)\n", name.c_str());
    return kExitUsage;
}
