// Named character references: the 252 names of HTML 4.01 ("nbsp" to "diams")
// and "apos".
#pragma once

#include <cstdint>

#include "foundation/types.h"

// The character a name stands for (case-sensitive: "Eacute" and "eacute"
// differ), or 0 when the name is not in the table. name[0..length) need not
// be zero-terminated.
lvchar16 lookupHtmlEntity(const lvchar16* name, int32_t length);
// Number of names in the table.
int32_t htmlEntityCount();
