// Containers: named collections of items, each of which opens as a stream.
// A folder of the local file system (LVDirectoryContainer, dircontainer.h) and
// a ZIP archive read from any stream (LVZipArc, ziparc.h) are the kinds this
// library provides; format readers add their own on top of LVNamedContainer
// or LVArcContainerBase.
//
// Containers are reference-counted like streams and held through
// ContainerHandle. A container owns its items: the pointers GetObjectInfo and
// FindObjectInfo return stay valid while the container lives and its listing
// is not re-read (ReadContents). A stream opened from a container keeps what
// it needs alive on its own, so it stays usable after the container is gone.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/lvstring.h"
#include "foundation/refcount.h"
#include "streams/stream.h"

class LVContainer;
using ContainerHandle = Ref<LVContainer>;

// Item flag bits (the MS-DOS attribute bits, which ZIP archives carry in the
// low byte of their external attributes).
enum ContainerItemFlags : uint32_t {
    ItemFlagReadOnly = 0x01,
    ItemFlagHidden = 0x02,
    ItemFlagSystem = 0x04,
    ItemFlagFolder = 0x10,
    ItemFlagArchive = 0x20,
};

// What a container knows about one of its items.
class LVContainerItemInfo : public LVRefCounter {
public:
    // Unpacked size in bytes.
    virtual lvsize_t GetSize() const = 0;
    // The item's name inside the container (a relative path in an archive).
    virtual LVString16 GetName() const = 0;
    virtual uint32_t GetFlags() const = 0;
    // True for a sub-folder of a folder container.
    virtual bool IsContainer() const = 0;
    ~LVContainerItemInfo() override = default;
};

// The item record of folders and ZIP archives. The last group of fields
// describes where a ZIP entry's data lies; folders leave them 0.
class LVCommonContainerItemInfo : public LVContainerItemInfo {
public:
    lvsize_t GetSize() const override { return size; }
    LVString16 GetName() const override { return name; }
    uint32_t GetFlags() const override { return flags; }
    bool IsContainer() const override { return isContainer; }

    lvsize_t size = 0;
    LVString16 name;
    uint32_t flags = 0;
    bool isContainer = false;

    // ZIP entries only.
    uint32_t localHeaderOffset = 0;
    lvsize_t packedSize = 0;
    uint32_t method = 0;        // 0 stored, 8 deflated, anything else unsupported
    uint32_t crc32 = 0;         // from the central directory when there is one
    uint32_t generalFlags = 0;  // the entry's general-purpose bit flags
};

// A named collection of streams. The virtual operations keep a fixed order:
// the first seven are those of LVStorageObject.
class LVContainer : public LVStorageObject {
public:
    using LVStorageObject::GetSize;

    ~LVContainer() override = default;
    bool IsContainer() override { return true; }
    // The number of items.
    lvsize_t GetSize() override { return static_cast<lvsize_t>(GetObjectCount()); }
    // The number of items; fails while the container has no name.
    LVResult GetSize(lvsize_t* count) override;
    // The item at index, or null when the index is outside 0..count-1.
    virtual LVContainerItemInfo* GetObjectInfo(int32_t index) = 0;
    virtual const LVContainerItemInfo* GetObjectInfo(int32_t index) const = 0;
    virtual int32_t GetObjectCount() const = 0;
    // Opens an item as a stream; null when it cannot be opened.
    virtual StreamHandle OpenStream(const LVString16& name, int32_t mode) = 0;
    // The first item whose name equals name exactly (case-sensitive), or null.
    virtual const LVContainerItemInfo* FindObjectInfo(const LVString16& name);
    // Re-reads the listing where the container has one to read; returns the
    // number of items. The default has nothing to read.
    virtual int32_t ReadContents() { return GetObjectCount(); }
};

// Base of the concrete containers: the name and its parts, the path delimiter
// and the owned item list.
class LVNamedContainer : public LVContainer {
public:
    using LVContainer::GetObjectInfo;
    using LVContainer::GetSize;

    LVString16 GetName() override { return name_; }
    // Stores the name and splits it after the last "/" or "\" (the folder
    // part keeps the delimiter); that delimiter becomes the container's.
    void SetName(const LVString16& name) override;
    LVContainerItemInfo* GetObjectInfo(int32_t index) override;
    const LVContainerItemInfo* GetObjectInfo(int32_t index) const override;
    int32_t GetObjectCount() const override { return static_cast<int32_t>(items_.size()); }

    const LVString16& fileNamePart() const { return fileName_; }
    const LVString16& folderPart() const { return folder_; }
    // "/" until a name that uses "\" is set.
    lvchar16 delimiter() const { return delimiter_; }

protected:
    void addItem(LVContainerItemInfo* item) { items_.emplace_back(item); }
    void insertItem(int32_t index, LVContainerItemInfo* item);
    void clearItems() { items_.clear(); }

private:
    LVString16 name_;
    LVString16 fileName_;
    LVString16 folder_;
    lvchar16 delimiter_ = u'/';
    std::vector<Ref<LVContainerItemInfo>> items_;
};

// A container read from an archive stream.
class LVArcContainerBase : public LVNamedContainer {
public:
    explicit LVArcContainerBase(const StreamHandle& stream) : stream_(stream) {}
    // An archive kind that does not implement opening gives no stream.
    StreamHandle OpenStream(const LVString16& name, int32_t mode) override {
        (void)name;
        (void)mode;
        return nullptr;
    }
    const StreamHandle& sourceStream() const { return stream_; }

protected:
    StreamHandle stream_;
};

// Lists a folder of the local file system (see LVDirectoryContainer in
// dircontainer.h). pattern filters the names with shell wildcards; "*" and
// "*.*" both take every name. Null for an empty path or a folder that cannot
// be read.
ContainerHandle openDirectory(const LVString16& path, const LVString16& pattern);
// Opens a ZIP archive over stream (see LVZipArc in ziparc.h). Null unless the
// stream starts with a local file header and at least one entry is listed.
ContainerHandle openArchive(const StreamHandle& stream);
