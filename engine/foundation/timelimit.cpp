#include "foundation/timelimit.h"

#include <chrono>
#include <climits>

TimeLimit::TimeLimit(int32_t limitMs) : start_(nowMs()), limit_(limitMs < 0 ? kInfinite : limitMs) {}

int64_t TimeLimit::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int32_t TimeLimit::remainingMs() const {
    if (infinite()) return INT32_MAX;
    int64_t left = start_ + limit_ - nowMs();
    return left <= 0 ? 0 : static_cast<int32_t>(left);
}
