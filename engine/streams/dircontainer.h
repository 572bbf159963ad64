// A folder of the local file system as a container.
#pragma once

#include "streams/container.h"

// The files and sub-folders of one folder, listed once when it is opened
// (openDirectory) and sorted by name (by 16-bit units). Files carry their
// size (low 32 bits) and flag 0x01 when nobody may write them; sub-folders
// carry flag 0x10, size 0 and IsContainer(). "." and "..", and entries that
// are neither regular files nor folders (devices, pipes, broken links), are
// not listed. Names reach the system as UTF-8.
class LVDirectoryContainer : public LVNamedContainer {
public:
    // The container of the folder path; null for an empty path or a folder
    // that cannot be read. The name is path with a delimiter appended unless
    // it already ends with "/" or "\".
    static ContainerHandle open(const LVString16& path, const LVString16& pattern);

    // Opens folder + name in mode. "\" in name counts as "/". A listed
    // sub-folder gives null. When the exact name does not open in read mode,
    // each element of the path is matched ignoring case (an exact match
    // wins; otherwise the first in name order), so that a reference written
    // as "images/cover.jpg" finds "Images/Cover.JPG". A file that opens and
    // is a direct child not yet listed (one just created) joins the listing.
    StreamHandle OpenStream(const LVString16& name, int32_t mode) override;

private:
    LVDirectoryContainer() = default;
    bool list(const LVString16& pattern);
    // The name with every path element replaced by its case-insensitive match
    // on disk; empty when some element has none.
    LVString16 resolveIgnoringCase(const LVString16& name);
    int32_t findInsertPosition(const LVString16& name) const;
};
