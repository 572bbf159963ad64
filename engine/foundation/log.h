// Levelled diagnostic log and the fatal-error exit.
//
// The log is a facade over one process-wide logger; none is installed by
// default, so every call costs one pointer test. Use the LOG_* macros: they
// test the level before evaluating any argument.
#pragma once

#include <cstdarg>

enum LogLevel : int {
    LogLevelNone = 0,
    LogLevelError = 1,
    LogLevelWarn = 2,
    LogLevelInfo = 3,
    LogLevelDebug = 4,
    LogLevelTrace = 5,
};

class EngineLogger {
public:
    explicit EngineLogger(int level) : level_(level) {}
    virtual ~EngineLogger() = default;
    // label: "ERROR", "WARN", "DEBUG" or "TRACE"; format is printf-style.
    virtual void log(const char* label, const char* format, va_list args) = 0;

    int level() const { return level_; }
    void setLevel(int level) { level_ = level; }

private:
    int level_;
};

// The process-wide logger (null unless a program installs one). The caller
// keeps ownership; pass null to remove it.
void setEngineLogger(EngineLogger* logger);
EngineLogger* engineLogger();

// True when a logger is installed and its level is n or more.
bool logLevelAtLeast(int n);

// Functions with the level test inside. Their arguments are evaluated before
// the call; prefer the macros below on any path that builds its arguments.
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

#define LOG_AT_LEVEL_(n, fn, ...)                                                                  \
    do {                                                                                           \
        if (logLevelAtLeast(n)) fn(__VA_ARGS__);                                                   \
    } while (0)
#define LOG_ERROR(...) LOG_AT_LEVEL_(LogLevelError, logError, __VA_ARGS__)
#define LOG_WARN(...) LOG_AT_LEVEL_(LogLevelWarn, logWarn, __VA_ARGS__)
#define LOG_INFO(...) LOG_AT_LEVEL_(LogLevelInfo, logInfo, __VA_ARGS__)
#define LOG_DEBUG(...) LOG_AT_LEVEL_(LogLevelDebug, logDebug, __VA_ARGS__)
#define LOG_TRACE(...) LOG_AT_LEVEL_(LogLevelTrace, logTrace, __VA_ARGS__)

// A logger that writes "LABEL message\n" lines to standard error.
class StderrLogger : public EngineLogger {
public:
    explicit StderrLogger(int level) : EngineLogger(level) {}
    void log(const char* label, const char* format, va_list args) override;
};

// Prints "FATAL ERROR #<code>: <message>\n" to standard error and ends the
// process at once with <code> as exit status (the system keeps its low 8
// bits). No destructors or exit handlers run.
[[noreturn]] void fatalError(int code, const char* message);
