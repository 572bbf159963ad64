// Taking file paths apart and putting them together. Both "/" and "\" count
// as delimiters wherever a path is split; new paths use "/" unless the path
// at hand already uses "\".
#pragma once

#include "foundation/lvstring.h"

// The text up to and including the last delimiter. Without a delimiter:
// "./" when dotIfNone is set, else the empty string.
LVString16 extractPath(const LVString16& path, bool dotIfNone = true);
// The text after the last delimiter (the whole path when there is none).
LVString16 extractFileName(const LVString16& path);
// The file name without its extension. The extension starts at the last "."
// of the file name, provided that dot is not the name's first character and
// lies within its last 7 characters; otherwise the whole file name is kept.
LVString16 extractBaseName(const LVString16& path);
// Removes one trailing delimiter, then returns the text after the last
// delimiter and cuts path to the text before it. Without a delimiter the
// whole path is returned and path becomes empty.
LVString16 splitLastPathElement(LVString16& path);
// The first delimiter in the path, "/" when it has none.
lvchar16 detectPathDelimiter(const LVString16& path);
// Appends the path's delimiter unless the path is empty or already ends with
// a delimiter.
void appendPathDelimiter(LVString16& path);
// Resolves relative against the folder base. A relative path that starts with
// a delimiter or a drive ("C:\") is returned unchanged. Otherwise both are
// joined with the delimiter of base (else of relative, else "/"), every
// delimiter is made that one, each "/name/../" (name not starting with ".")
// collapses to "/", and a leading "./" is dropped.
LVString16 combinePaths(const LVString16& base, const LVString16& relative);
