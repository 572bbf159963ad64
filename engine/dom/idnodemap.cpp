#include "dom/idnodemap.h"

#include <algorithm>

IdNodeMap::IdNodeMap(uint32_t buckets) : heads_(std::max<uint32_t>(buckets, 16), -1) {}

void IdNodeMap::clear() {
    std::fill(heads_.begin(), heads_.end(), -1);
    entries_.clear();
    freeList_ = -1;
    count_ = 0;
}

// The link that points at the entry for key (a bucket head or a next field),
// or the link that ends the key's chain when the key is absent.
int32_t* IdNodeMap::findSlot(uint32_t key) {
    int32_t* link = &heads_[bucketOf(key)];
    while (*link >= 0 && entries_[*link].key != key) link = &entries_[*link].next;
    return link;
}

void IdNodeMap::grow() {
    std::vector<int32_t> heads(heads_.size() * 2, -1);
    heads_.swap(heads);
    // Re-thread every live entry; free entries stay on the free list.
    for (int32_t head : heads) {
        for (int32_t i = head; i >= 0;) {
            int32_t next = entries_[i].next;
            int32_t& h = heads_[bucketOf(entries_[i].key)];
            entries_[i].next = h;
            h = i;
            i = next;
        }
    }
}

void IdNodeMap::set(uint32_t key, NodeHandle node) {
    int32_t* link = findSlot(key);
    if (*link >= 0) {
        entries_[*link].node = node;
        return;
    }
    if (count_ >= heads_.size() * 2) grow();
    int32_t i;
    if (freeList_ >= 0) {
        i = freeList_;
        freeList_ = entries_[i].next;
    } else {
        i = static_cast<int32_t>(entries_.size());
        entries_.push_back(Entry{});
    }
    int32_t& head = heads_[bucketOf(key)];
    entries_[i] = Entry{key, node, head};
    head = i;
    ++count_;
}

NodeHandle IdNodeMap::get(uint32_t key) const {
    for (int32_t i = heads_[bucketOf(key)]; i >= 0; i = entries_[i].next)
        if (entries_[i].key == key) return entries_[i].node;
    return 0;
}

bool IdNodeMap::removeIf(uint32_t key, NodeHandle node) {
    int32_t* link = findSlot(key);
    if (*link < 0 || entries_[*link].node != node) return false;
    int32_t i = *link;
    *link = entries_[i].next;
    entries_[i].next = freeList_;
    freeList_ = i;
    --count_;
    return true;
}

std::vector<std::pair<uint32_t, NodeHandle>> IdNodeMap::entries() const {
    std::vector<std::pair<uint32_t, NodeHandle>> out;
    out.reserve(count_);
    for (int32_t head : heads_)
        for (int32_t i = head; i >= 0; i = entries_[i].next)
            out.emplace_back(entries_[i].key, entries_[i].node);
    std::sort(out.begin(), out.end());
    return out;
}
