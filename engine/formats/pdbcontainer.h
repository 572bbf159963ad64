// The images of a Palm database book as a container: every image record of a
// Mobipocket book ("mobi_image_N") and every "PNG " record of an eReader book
// (under its own name) is an item that opens as a window on the raw file.
#pragma once

#include "foundation/lvstring.h"
#include "streams/container.h"
#include "streams/stream.h"

// One record region of the source file (the raw file, not the decoded text,
// so an item stays readable whatever happens to the PDBFile). The base item describes the region
// without giving a stream; LVPDBRegionContainerItem opens it.
class LVPDBContainerItem : public LVContainerItemInfo {
public:
    LVPDBContainerItem(const StreamHandle& source, lvpos_t start, lvsize_t size,
                       const LVString16& name)
        : source_(source), start_(start), size_(size), name_(name) {}

    lvsize_t GetSize() const override { return size_; }
    LVString16 GetName() const override { return name_; }
    uint32_t GetFlags() const override { return 0; }
    bool IsContainer() const override { return false; }

    virtual StreamHandle openStream() { return nullptr; }

    lvpos_t start() const { return start_; }

protected:
    StreamHandle source_;
    lvpos_t start_;
    lvsize_t size_;
    LVString16 name_;
};

class LVPDBRegionContainerItem : public LVPDBContainerItem {
public:
    using LVPDBContainerItem::LVPDBContainerItem;
    // A fragment over [start, start + size) of the raw source file, named
    // like the item.
    StreamHandle openStream() override;
};

class LVPDBContainer : public LVNamedContainer {
public:
    LVPDBContainer() = default;

    // The stream the container belongs to (the decoded text once a book is
    // imported). Held so that the container keeps it alive.
    void setStream(const StreamHandle& stream) { stream_ = stream; }
    const StreamHandle& stream() const { return stream_; }

    // Read mode only: the first item whose name equals name exactly.
    StreamHandle OpenStream(const LVString16& name, int32_t mode) override;

    // Takes ownership of item.
    void addRegion(LVPDBContainerItem* item) { addItem(item); }
    // Drops every item (a failed open leaves the container empty).
    void clear() { clearItems(); }

private:
    StreamHandle stream_;
};

using PDBContainerHandle = Ref<LVPDBContainer>;
