// Helpers shared by the benchmarks that compare the engine with a peer
// command-line tool on the same file in the same run: where the corpus is,
// finding a tool on the PATH, running it, and peak resident sizes.
#pragma once

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace benchutil {

namespace fs = std::filesystem;

// The shared corpus: $VELLUMO_CORPUS, else beside the source tree.
inline fs::path corpusDir() {
    const char* env = std::getenv("VELLUMO_CORPUS");
    if (env && *env) return env;
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "corpus";
}

// Full path of an executable on the PATH, or empty.
inline std::string findTool(const char* name) {
    const char* pathEnv = std::getenv("PATH");
    std::string paths = pathEnv ? pathEnv : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= paths.size()) {
        size_t end = paths.find(':', start);
        if (end == std::string::npos) end = paths.size();
        fs::path candidate = fs::path(paths.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return {};
}

inline double mb(double bytes) { return bytes / (1024.0 * 1024.0); }

// Peak resident size (bytes) of a forked child that runs work once.
template <class Work>
double childPeakRss(Work work) {
    pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || wait4(pid, &status, 0, &ru) < 0) return 0;
    return static_cast<double>(ru.ru_maxrss) * 1024.0;
}

// Runs a tool with args, its output discarded; false when it cannot be run
// or fails. peakRss receives its peak resident size in bytes.
inline bool runTool(const std::vector<std::string>& args, double& peakRss) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    struct rusage ru {};
    if (wait4(pid, &status, 0, &ru) < 0) return false;
    peakRss = static_cast<double>(ru.ru_maxrss) * 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Reports peak_rss_MB and base_rss_MB (a child doing nothing).
inline void setRssCounters(benchmark::State& state, double peakRss) {
    static const double base = childPeakRss([] {});
    state.counters["peak_rss_MB"] = mb(peakRss);
    state.counters["base_rss_MB"] = mb(base);
}

}  // namespace benchutil
