// A start time and a budget in milliseconds on the monotonic clock. Long
// document operations check it between steps so that a caller can stop and
// continue later.
#pragma once

#include <cstdint>

class TimeLimit {
public:
    static constexpr int32_t kInfinite = -1;

    // Starts now with the given budget; -1 (or any negative value) never expires.
    explicit TimeLimit(int32_t limitMs = kInfinite);

    static int64_t nowMs();  // monotonic milliseconds

    void restart() { start_ = nowMs(); }
    int64_t elapsedMs() const { return nowMs() - start_; }
    int32_t limitMs() const { return limit_; }
    bool infinite() const { return limit_ < 0; }
    // True once the clock has passed start + limit.
    bool expired() const { return !infinite() && nowMs() > start_ + limit_; }
    // Milliseconds left (0 when expired, INT32_MAX when infinite).
    int32_t remainingMs() const;

private:
    int64_t start_;
    int32_t limit_;
};
