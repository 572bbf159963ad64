#include "streams/paths.h"

namespace {

bool isDelimiter(lvchar16 c) { return c == u'/' || c == u'\\'; }

// Index of the last delimiter, -1 when there is none.
int32_t lastDelimiter(const LVString16& path) {
    for (int32_t i = path.length() - 1; i >= 0; --i) {
        if (isDelimiter(path[i])) return i;
    }
    return -1;
}

// Index of the first delimiter, -1 when there is none.
int32_t firstDelimiter(const LVString16& path) {
    for (int32_t i = 0; i < path.length(); ++i) {
        if (isDelimiter(path[i])) return i;
    }
    return -1;
}

// Finds the first "<d>name<d>..<d>" with a non-empty name that does not
// start with "." and removes "name<d>..<d>". False when there is none.
bool collapseOneParent(LVString16& path, lvchar16 d) {
    const int32_t len = path.length();
    for (int32_t i = 0; i < len; ++i) {
        if (path[i] != d) continue;
        int32_t nameEnd = path.indexOf(d, i + 1);
        if (nameEnd < 0) return false;
        bool nameOk = nameEnd > i + 1 && path[i + 1] != u'.';
        if (nameOk && nameEnd + 3 < len && path[nameEnd + 1] == u'.' && path[nameEnd + 2] == u'.' &&
            path[nameEnd + 3] == d) {
            path.erase(i + 1, nameEnd + 4 - (i + 1));
            return true;
        }
    }
    return false;
}

}  // namespace

LVString16 extractPath(const LVString16& path, bool dotIfNone) {
    int32_t cut = lastDelimiter(path);
    if (cut < 0) return dotIfNone ? LVString16("./") : LVString16();
    return path.substr(0, cut + 1);
}

LVString16 extractFileName(const LVString16& path) { return path.substr(lastDelimiter(path) + 1); }

LVString16 extractBaseName(const LVString16& path) {
    LVString16 name = extractFileName(path);
    int32_t dot = name.lastIndexOf(u'.');
    if (dot > 0 && dot >= name.length() - 7) return name.substr(0, dot);
    return name;
}

LVString16 splitLastPathElement(LVString16& path) {
    if (path.empty()) return LVString16();
    if (isDelimiter(path[path.length() - 1])) path.truncate(path.length() - 1);
    int32_t cut = lastDelimiter(path);
    if (cut < 0) {
        LVString16 last = path;
        path.clear();
        return last;
    }
    LVString16 last = path.substr(cut + 1);
    path.truncate(cut);
    return last;
}

lvchar16 detectPathDelimiter(const LVString16& path) {
    int32_t at = firstDelimiter(path);
    return at < 0 ? u'/' : path[at];
}

void appendPathDelimiter(LVString16& path) {
    if (path.empty() || isDelimiter(path[path.length() - 1])) return;
    path += detectPathDelimiter(path);
}

LVString16 combinePaths(const LVString16& base, const LVString16& relative) {
    if (!relative.empty() && isDelimiter(relative[0])) return relative;
    if (relative.length() >= 3 && relative[1] == u':' && relative[2] == u'\\') return relative;

    lvchar16 d = u'/';
    if (int32_t at = firstDelimiter(base); at >= 0) {
        d = base[at];
    } else if (int32_t rel = firstDelimiter(relative); rel >= 0) {
        d = relative[rel];
    }
    LVString16 result = base;
    if (!result.empty() && !isDelimiter(result[result.length() - 1])) result += d;
    result += relative;
    if (!result.empty()) {
        lvchar16* chars = result.modify();
        for (int32_t i = 0; i < result.length(); ++i) {
            if (isDelimiter(chars[i])) chars[i] = d;
        }
    }
    while (collapseOneParent(result, d)) {
    }
    if (result.length() >= 2 && result[0] == u'.' && result[1] == d) result.erase(0, 2);
    return result;
}
