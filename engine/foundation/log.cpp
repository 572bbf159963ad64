#include "foundation/log.h"

#include <cstdio>
#include <cstdlib>

namespace {
EngineLogger* g_logger = nullptr;

void forward(int level, const char* label, const char* format, va_list args) {
    EngineLogger* logger = g_logger;  // read once
    if (!logger || logger->level() < level) return;
    logger->log(label, format, args);
}
}  // namespace

void setEngineLogger(EngineLogger* logger) { g_logger = logger; }
EngineLogger* engineLogger() { return g_logger; }

bool logLevelAtLeast(int n) {
    EngineLogger* logger = g_logger;
    return logger && logger->level() >= n;
}

#define DEFINE_LOG_FUNCTION(name, level, label)                                                    \
    void name(const char* format, ...) {                                                           \
        va_list args;                                                                              \
        va_start(args, format);                                                                    \
        forward(level, label, format, args);                                                       \
        va_end(args);                                                                              \
    }

DEFINE_LOG_FUNCTION(logError, LogLevelError, "ERROR")
DEFINE_LOG_FUNCTION(logWarn, LogLevelWarn, "WARN")
// Informational messages carry the same label as warnings.
DEFINE_LOG_FUNCTION(logInfo, LogLevelInfo, "WARN")
DEFINE_LOG_FUNCTION(logDebug, LogLevelDebug, "DEBUG")
DEFINE_LOG_FUNCTION(logTrace, LogLevelTrace, "TRACE")

void StderrLogger::log(const char* label, const char* format, va_list args) {
    char line[2048];
    vsnprintf(line, sizeof line, format, args);
    fprintf(stderr, "%s %s\n", label, line);
}

void fatalError(int code, const char* message) {
    fprintf(stderr, "FATAL ERROR #%d: %s\n", code, message ? message : "");
    fflush(stderr);
    std::_Exit(code);
}
