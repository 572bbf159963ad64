#include "formats/entities.h"

#include <cstring>

namespace {

struct Entity {
    const char* name;
    uint16_t value;
};

const Entity kEntities[] = {
#include "entities_table.inc"
};
constexpr int32_t kEntityCount = sizeof kEntities / sizeof kEntities[0];
constexpr int32_t kLongestName = 8;  // "thetasym"

// Compares a 16-bit name with an ASCII one in byte order.
int compareName(const lvchar16* name, int32_t length, const char* ascii) {
    int32_t i = 0;
    for (; i < length && ascii[i]; ++i) {
        const unsigned a = name[i], b = static_cast<unsigned char>(ascii[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (i < length) return 1;
    return ascii[i] ? -1 : 0;
}

}  // namespace

lvchar16 lookupHtmlEntity(const lvchar16* name, int32_t length) {
    if (!name || length <= 0 || length > kLongestName) return 0;
    int32_t lo = 0, hi = kEntityCount - 1;
    while (lo <= hi) {
        const int32_t mid = (lo + hi) / 2;
        const int c = compareName(name, length, kEntities[mid].name);
        if (c == 0) return kEntities[mid].value;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return 0;
}

int32_t htmlEntityCount() { return kEntityCount; }
