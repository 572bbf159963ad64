// Attribute values and the map from identifier values to elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "dom/nodehandle.h"
#include "foundation/lvstring.h"
#include "foundation/stringlist.h"

// Every distinct attribute value of a document, kept once, addressed by a
// 32-bit index that never changes.
class AttributeValueTable {
public:
    static constexpr uint32_t kNoValue = 0xFFFFFFFF;

    // Index of value, adding it when absent.
    uint32_t add(const LVString16& value) { return static_cast<uint32_t>(values_.add(value)); }
    // Index of value, or kNoValue.
    uint32_t find(const LVString16& value) const {
        int32_t i = values_.find(value);
        return i < 0 ? kNoValue : static_cast<uint32_t>(i);
    }
    // The value, or the empty string for an index that names none.
    LVString16 get(uint32_t index) const {
        return index < static_cast<uint32_t>(values_.length())
                   ? values_[static_cast<int32_t>(index)]
                   : LVString16();
    }
    uint32_t size() const { return static_cast<uint32_t>(values_.length()); }
    const HashedStringList& strings() const { return values_; }
    void clear() { values_.clear(); }

private:
    HashedStringList values_;
};

// Hash map from an attribute-value index (the value of an `id`, or of the
// `name` of an `a` element) to the element carrying it, in reference form.
class IdNodeMap {
public:
    explicit IdNodeMap(uint32_t buckets = 8192);

    // Maps key to node, replacing an earlier entry for the same key.
    void set(uint32_t key, NodeHandle node);
    // The node for key, 0 when there is none.
    NodeHandle get(uint32_t key) const;
    // Removes the entry for key when it maps to node; true when removed.
    bool removeIf(uint32_t key, NodeHandle node);
    void clear();

    uint32_t size() const { return count_; }
    uint32_t bucketCount() const { return static_cast<uint32_t>(heads_.size()); }
    // All entries as (key, node), sorted by key.
    std::vector<std::pair<uint32_t, NodeHandle>> entries() const;

private:
    struct Entry {
        uint32_t key;
        NodeHandle node;
        int32_t next;  // next entry of the bucket, or of the free list
    };
    uint32_t bucketOf(uint32_t key) const {
        return static_cast<uint32_t>((static_cast<uint64_t>(key) * 1975317u + 164521u) %
                                     heads_.size());
    }
    int32_t* findSlot(uint32_t key);
    void grow();

    std::vector<int32_t> heads_;
    std::vector<Entry> entries_;
    int32_t freeList_ = -1;
    uint32_t count_ = 0;
};
