// Finishing a run of text before it goes to OnText, as the TEXT_* flags of
// xmlcallback.h ask. Shared by every reader that produces text runs: the XML
// and HTML parsers, the plain-text importer and the RTF reader.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/lvstring.h"
#include "foundation/types.h"

// Whitespace collapsing in place over text[0..length); returns the new
// length. Runs of tabs, spaces, carriage returns and line feeds become one
// space. A leading run is kept as one space only with
// TEXT_TRIM_ALLOW_START_SPACE or TEXT_PRE_PARA_SPLITTING, a trailing run only
// with TEXT_TRIM_ALLOW_END_SPACE. With TEXT_TRIM_REMOVE_EOL_HYPHENS a '-'
// after a letter and directly before a line break is removed together with
// the whitespace run that starts with the break, joining the two halves of
// the word. (Applied whatever the TEXT_TRIM bit says; see finishTextRun.)
int32_t trimTextRun(lvchar16* text, int32_t length, uint32_t flags);

// The length of text[0..length) once its tabs are expanded with spaces to the
// next multiple of 8 columns (the column restarts after a carriage return or
// a line feed).
int32_t expandedTabsLength(const lvchar16* text, int32_t length);
// Writes that expansion to out, which has room for expandedTabsLength
// characters; returns the length written.
int32_t expandTabs(const lvchar16* text, int32_t length, lvchar16* out);

// The steps every reader applies to a run after its own character pass:
// with TEXT_TRIM, when the run is not preformatted (TEXT_PRE) or
// TEXT_PRE_PARA_SPLITTING is set, trimTextRun in place; then with TEXT_PRE,
// tab expansion into scratch (working room a caller may keep between runs).
// Returns the finished text, text itself or scratch's data, and its length
// in length.
const lvchar16* finishTextRun(lvchar16* text, int32_t& length, uint32_t flags,
                              std::vector<lvchar16>& scratch);
// The same over a string.
void finishTextRun(LVString16& text, uint32_t flags);
