#include "streams/dircontainer.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "foundation/log.h"
#include "streams/filestream.h"

namespace {

// A folder entry as the system reports it.
struct DirEntry {
    LVString16 name;
    bool isFolder = false;
    bool readOnly = false;
    uint64_t size = 0;
};

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Reads the entries of a folder that match pattern (every entry when the
// pattern is empty, "*" or "*.*"). False when the folder cannot be opened.
bool readFolder(const LVString16& folder, const LVString16& pattern, std::vector<DirEntry>& out) {
    LVString8 native = wideToLocal(folder);
    DIR* dir = opendir(native.c_str());
    if (!dir) return false;
    bool matchAll = pattern.empty() || pattern == "*" || pattern == "*.*";
    LVString8 nativePattern = wideToLocal(pattern);
    if (native.empty() || native[native.length() - 1] != '/') native += LVString8("/");
    while (const dirent* d = readdir(dir)) {
        if (isDotOrDotDot(d->d_name)) continue;
        if (!matchAll && fnmatch(nativePattern.c_str(), d->d_name, 0) != 0) continue;
        struct stat st;
        if (stat((native + LVString8(d->d_name)).c_str(), &st) != 0) continue;
        DirEntry e;
        e.name = localToWide(d->d_name);
        if (S_ISDIR(st.st_mode)) {
            e.isFolder = true;
        } else if (S_ISREG(st.st_mode)) {
            e.size = static_cast<uint64_t>(st.st_size);
        } else {
            continue;
        }
        e.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        out.push_back(e);
    }
    closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

LVString16 lowered(const LVString16& s) {
    LVString16 r = s;
    if (!r.empty()) lowerChars(r.modify(), static_cast<size_t>(r.length()));
    return r;
}

// The first of names (sorted) equal to wanted, else the first equal ignoring
// case; empty when there is none.
LVString16 pickMatch(const std::vector<LVString16>& names, const LVString16& wanted) {
    for (const LVString16& n : names)
        if (n == wanted) return n;
    LVString16 key = lowered(wanted);
    for (const LVString16& n : names)
        if (lowered(n) == key) return n;
    return LVString16();
}

}  // namespace

ContainerHandle LVDirectoryContainer::open(const LVString16& path, const LVString16& pattern) {
    if (path.empty()) return nullptr;
    Ref<LVDirectoryContainer> container(new LVDirectoryContainer());
    LVString16 name = path;
    lvchar16 last = path[path.length() - 1];
    if (last != u'/' && last != u'\\') name += container->delimiter();
    container->SetName(name);
    if (!container->list(pattern)) return nullptr;
    return ContainerHandle(container.get());
}

bool LVDirectoryContainer::list(const LVString16& pattern) {
    std::vector<DirEntry> entries;
    if (!readFolder(folderPart(), pattern, entries)) {
        LOG_DEBUG("cannot list folder %s", wideToLocal(folderPart()).c_str());
        return false;
    }
    clearItems();
    for (const DirEntry& e : entries) {
        auto* item = new LVCommonContainerItemInfo();
        item->name = e.name;
        item->isContainer = e.isFolder;
        item->size = static_cast<lvsize_t>(e.size & 0xFFFFFFFFu);
        item->flags = 0;
        if (e.isFolder) item->flags |= ItemFlagFolder;
        if (e.readOnly) item->flags |= ItemFlagReadOnly;
        addItem(item);
    }
    return true;
}

int32_t LVDirectoryContainer::findInsertPosition(const LVString16& name) const {
    int32_t n = GetObjectCount();
    int32_t i = 0;
    while (i < n && GetObjectInfo(i)->GetName() < name) ++i;
    return i;
}

LVString16 LVDirectoryContainer::resolveIgnoringCase(const LVString16& name) {
    LVString16 resolved;
    LVString16 folder = folderPart();
    int32_t start = 0;
    while (start <= name.length()) {
        int32_t slash = name.indexOf(u'/', start);
        int32_t end = slash < 0 ? name.length() : slash;
        LVString16 element = name.substr(start, end - start);
        LVString16 match = element;
        if (!element.empty() && element != "." && element != "..") {
            // The folder is read afresh: the listing may be filtered by a
            // pattern and holds only the first level.
            std::vector<DirEntry> entries;
            if (!readFolder(folder, LVString16(), entries)) return LVString16();
            std::vector<LVString16> names;
            for (const DirEntry& e : entries) names.push_back(e.name);
            match = pickMatch(names, element);
            if (match.empty()) return LVString16();
        }
        resolved += match;
        folder += match;
        if (slash < 0) break;
        resolved += u'/';
        folder += u'/';
        start = slash + 1;
    }
    return resolved;
}

StreamHandle LVDirectoryContainer::OpenStream(const LVString16& requested, int32_t mode) {
    LVString16 name = requested;
    for (int32_t i = 0; i < name.length(); ++i)
        if (name[i] == u'\\') name.at(i) = u'/';
    const LVContainerItemInfo* item = FindObjectInfo(name);
    if (item && item->IsContainer()) return nullptr;

    StreamHandle stream = openFileStream(folderPart() + name, mode);
    if (!stream && (mode & 7) == OpenModeRead) {
        LVString16 resolved = resolveIgnoringCase(name);
        if (!resolved.empty() && resolved != name) {
            const LVContainerItemInfo* other = FindObjectInfo(resolved);
            if (other && other->IsContainer()) return nullptr;
            stream = openFileStream(folderPart() + resolved, mode);
            if (stream) name = resolved;
        }
    }
    if (!stream) return nullptr;

    if (!FindObjectInfo(name) && name.indexOf(u'/') < 0) {
        auto* added = new LVCommonContainerItemInfo();
        added->name = name;
        added->size = stream->GetSize();
        insertItem(findInsertPosition(name), added);
    }
    return stream;
}

ContainerHandle openDirectory(const LVString16& path, const LVString16& pattern) {
    return LVDirectoryContainer::open(path, pattern);
}
