// The detector's built-in statistics: letter and letter-pair frequencies of
// running text in each (code page, language), produced by tools/cpstats.
#include "foundation/encodings.h"

namespace {

#include "foundation/cpstats_tables.inc"

}  // namespace

const CodePageStatsEntry* codePageStatsEntries() { return kCodePageStatsTable; }

int codePageStatsEntryCount() {
    return static_cast<int>(sizeof kCodePageStatsTable / sizeof kCodePageStatsTable[0]);
}
