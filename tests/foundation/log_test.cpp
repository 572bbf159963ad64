#include "foundation/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/timelimit.h"

namespace {

class RecordingLogger : public EngineLogger {
public:
    explicit RecordingLogger(int level) : EngineLogger(level) {}
    void log(const char* label, const char* format, va_list args) override {
        char buf[256];
        vsnprintf(buf, sizeof buf, format, args);
        lines.push_back(std::string(label) + " " + buf);
    }
    std::vector<std::string> lines;
};

int g_evaluations = 0;
int counted() { return ++g_evaluations; }

TEST(Log, NothingIsEvaluatedWithoutALogger) {
    setEngineLogger(nullptr);
    g_evaluations = 0;
    LOG_ERROR("%d", counted());
    LOG_TRACE("%d", counted());
    EXPECT_EQ(g_evaluations, 0);
    EXPECT_FALSE(logLevelAtLeast(1));
}

TEST(Log, LevelsAndLabels) {
    RecordingLogger logger(LogLevelWarn);
    setEngineLogger(&logger);
    g_evaluations = 0;
    LOG_ERROR("e%d", 1);
    LOG_WARN("w%d", 2);
    LOG_INFO("i%d", counted());
    LOG_DEBUG("d");
    logInfo("direct info");  // the function form checks the level too
    EXPECT_EQ(g_evaluations, 0);
    ASSERT_EQ(logger.lines.size(), 2u);
    EXPECT_EQ(logger.lines[0], "ERROR e1");
    EXPECT_EQ(logger.lines[1], "WARN w2");

    logger.lines.clear();
    logger.setLevel(LogLevelTrace);
    LOG_INFO("i");
    LOG_DEBUG("d");
    LOG_TRACE("t");
    EXPECT_EQ(logger.lines, (std::vector<std::string>{"WARN i", "DEBUG d", "TRACE t"}));

    logger.lines.clear();
    logger.setLevel(LogLevelNone);
    LOG_ERROR("silenced");
    EXPECT_TRUE(logger.lines.empty());
    setEngineLogger(nullptr);
}

TEST(FatalErrorDeathTest, PrintsCodeAndMessageAndExitsWithTheCode) {
    // The system keeps the low 8 bits of the status: -2 is seen as 254.
    EXPECT_EXIT(fatalError(-2, "realloc failed"), testing::ExitedWithCode(254),
                "^FATAL ERROR #-2: realloc failed\n$");
    EXPECT_EXIT(fatalError(111, "Swap file writing error!"), testing::ExitedWithCode(111),
                "FATAL ERROR #111: Swap file writing error!");
}

TEST(TimeLimit, InfiniteAndFinite) {
    TimeLimit forever;
    EXPECT_TRUE(forever.infinite());
    EXPECT_FALSE(forever.expired());
    TimeLimit negative(-5);
    EXPECT_TRUE(negative.infinite());
    TimeLimit none(0);
    // Expired once the clock has passed start + 0.
    int64_t until = TimeLimit::nowMs() + 50;
    while (!none.expired() && TimeLimit::nowMs() < until) {
    }
    EXPECT_TRUE(none.expired());
    EXPECT_EQ(none.remainingMs(), 0);
    TimeLimit hour(3600 * 1000);
    EXPECT_FALSE(hour.expired());
    EXPECT_GT(hour.remainingMs(), 3500 * 1000);
}

}  // namespace
