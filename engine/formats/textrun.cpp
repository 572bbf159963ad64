#include "formats/textrun.h"

#include <cstring>

#include "dom/xmlcallback.h"
#include "foundation/textutil.h"

namespace {

inline bool isRunSpace(lvchar16 c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool isLineBreak(lvchar16 c) { return c == '\r' || c == '\n'; }

constexpr int32_t kTabColumns = 8;

}  // namespace

int32_t trimTextRun(lvchar16* text, int32_t length, uint32_t flags) {
    const bool keepStart = flags & (TEXT_TRIM_ALLOW_START_SPACE | TEXT_PRE_PARA_SPLITTING);
    const bool keepEnd = flags & TEXT_TRIM_ALLOW_END_SPACE;
    const bool joinHyphens = flags & TEXT_TRIM_REMOVE_EOL_HYPHENS;
    int32_t out = 0, i = 0;
    while (i < length) {
        if (!isRunSpace(text[i])) {
            text[out++] = text[i++];
            continue;
        }
        const int32_t start = i;
        while (i < length && isRunSpace(text[i])) ++i;
        if (i == length) {  // trailing (or the whole run)
            if (start == 0 ? keepStart || keepEnd : keepEnd) text[out++] = ' ';
            break;
        }
        if (start == 0) {
            if (keepStart) text[out++] = ' ';
            continue;
        }
        if (joinHyphens && isLineBreak(text[start]) && out >= 2 && text[out - 1] == '-' &&
            isLetterChar(text[out - 2])) {
            --out;  // "hyphen-\nated" -> "hyphenated"
            continue;
        }
        text[out++] = ' ';
    }
    return out;
}

int32_t expandedTabsLength(const lvchar16* text, int32_t length) {
    int32_t column = 0, total = 0;
    for (int32_t i = 0; i < length; ++i) {
        const lvchar16 c = text[i];
        if (c == '\t') {
            const int32_t step = kTabColumns - column % kTabColumns;
            column += step;
            total += step;
        } else {
            column = isLineBreak(c) ? 0 : column + 1;
            ++total;
        }
    }
    return total;
}

int32_t expandTabs(const lvchar16* text, int32_t length, lvchar16* out) {
    int32_t column = 0, o = 0;
    for (int32_t i = 0; i < length; ++i) {
        const lvchar16 c = text[i];
        if (c == '\t') {
            const int32_t step = kTabColumns - column % kTabColumns;
            for (int32_t k = 0; k < step; ++k) out[o++] = ' ';
            column += step;
        } else {
            out[o++] = c;
            column = isLineBreak(c) ? 0 : column + 1;
        }
    }
    return o;
}

const lvchar16* finishTextRun(lvchar16* text, int32_t& length, uint32_t flags,
                              std::vector<lvchar16>& scratch) {
    if ((flags & TEXT_TRIM) && (!(flags & TEXT_PRE) || (flags & TEXT_PRE_PARA_SPLITTING)))
        length = trimTextRun(text, length, flags);
    if (!(flags & TEXT_PRE) || length <= 0) return text;
    bool hasTab = false;
    for (int32_t i = 0; i < length && !hasTab; ++i) hasTab = text[i] == '\t';
    if (!hasTab) return text;
    const int32_t expanded = expandedTabsLength(text, length);
    if (scratch.size() < static_cast<size_t>(expanded) + 1) scratch.resize(expanded + 1);
    length = expandTabs(text, length, scratch.data());
    scratch[length] = 0;
    return scratch.data();
}

void finishTextRun(LVString16& text, uint32_t flags) {
    if (text.empty()) return;
    std::vector<lvchar16> buf(text.begin(), text.end());
    std::vector<lvchar16> scratch;
    int32_t length = static_cast<int32_t>(buf.size());
    const lvchar16* done = finishTextRun(buf.data(), length, flags, scratch);
    LVString16 result;
    result.append(done, length);
    text = result;
}
