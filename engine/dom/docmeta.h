// Book metadata read from a FictionBook-shaped tree
// (/FictionBook/description/title-info/...). The plain-text and bookmark
// importers build the same shape, so these work for them too.
#pragma once

#include <cstdint>

#include "foundation/lvstring.h"

class lxmlDocBase;

// Text of book-title, trimmed.
LVString16 docBookTitle(const lxmlDocBase* doc);
// Text of lang, trimmed.
LVString16 docLanguage(const lxmlDocBase* doc);
// From the first sequence: "(" name " #" number ")", "(" name ")" without a
// number, empty without a name.
LVString16 docSeries(const lxmlDocBase* doc);
// The first sequence's name (trimmed) and number (0 when absent or not a
// number); false when there is no named sequence.
bool docSeriesParts(const lxmlDocBase* doc, LVString16& name, int32_t& number);
// author[1]..author[16]: first, middle (only its initial and "." with
// shortMiddleName) and last names joined by single spaces; the authors joined
// by delimiter (", " when empty). Authors without any name part are skipped.
LVString16 docAuthors(const lxmlDocBase* doc, const LVString16& delimiter, bool shortMiddleName);
