// String collections.
//
// StringList8 and StringList16 are arrays of string values (each element
// holds one reference to its string record). A full array grows to exactly
// count + 65 elements; erasing every element or clearing frees it.
// HashedStringList gives each distinct 16-bit string a stable index.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/lvstring.h"

template <typename S>
class StringListBase {
public:
    using CharT = typename S::value_type;
    // Three-way comparison: negative, zero or positive.
    using Compare = int (*)(const S& a, const S& b);

    StringListBase() = default;
    StringListBase(const StringListBase& other);
    StringListBase(StringListBase&& other) noexcept;
    StringListBase& operator=(const StringListBase& other);
    StringListBase& operator=(StringListBase&& other) noexcept;
    ~StringListBase();

    int32_t length() const { return count_; }
    int32_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Allocated elements (0 when the array is freed).
    int32_t capacity() const { return capacity_; }

    const S& operator[](int32_t i) const { return items_[i]; }
    S& operator[](int32_t i) { return items_[i]; }
    const S* begin() const { return items_; }
    const S* end() const { return items_ + count_; }

    // Appends s and returns its index.
    int32_t add(const S& s);
    // Removes count elements at offset and closes the gap. Does nothing when
    // the list is empty, offset is negative, count is not positive or
    // offset + count exceeds the length.
    void erase(int32_t offset, int32_t count);
    // Releases every element and frees the array.
    void clear();

    // Ascending by the strings' own comparison; equal strings keep their order.
    void sort();
    void sort(Compare compare);

    // Appends the parts of text between occurrences of delimiter. When the
    // delimiter does not occur (or is an empty string) text is added as one
    // item. With trim, whitespace runs (space, tab, CR, LF) inside an item
    // become one space, whitespace at its ends is dropped, and items left
    // empty are skipped (except the single item above, which is always added).
    void split(const S& text, CharT delimiter, bool trim);
    void split(const S& text, const S& delimiter, bool trim);

private:
    void reallocate(int32_t newCapacity);
    void addPart(const CharT* part, int32_t partLength, bool trim, bool keepEmpty);

    S* items_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};

extern template class StringListBase<LVString8>;
extern template class StringListBase<LVString16>;

class StringList8 : public StringListBase<LVString8> {
public:
    using StringListBase<LVString8>::StringListBase;
};

class StringList16 : public StringListBase<LVString16> {
public:
    using StringListBase<LVString16>::StringListBase;
};

// A StringList16 with a hash table over its strings (FNV-1 of the units,
// modulo the table size, chains for collisions). A string keeps the index it
// was added with until clear().
class HashedStringList {
public:
    // Index of s, or -1.
    int32_t find(const LVString16& s) const;
    // Index of s, appending it first when it is not there yet.
    int32_t add(const LVString16& s);
    // Drops every string and the table.
    void clear();

    int32_t length() const { return strings_.length(); }
    bool empty() const { return strings_.empty(); }
    const LVString16& operator[](int32_t i) const { return strings_[i]; }
    const StringList16& strings() const { return strings_; }
    // Number of buckets (0 before the first add).
    int32_t tableSize() const { return static_cast<int32_t>(buckets_.size()); }

private:
    struct Bucket {
        int32_t first = -1;  // index of the bucket's first string
        int32_t chain = -1;  // head of the overflow chain in chain_
    };
    struct ChainNode {
        int32_t index;
        int32_t next;
    };

    uint32_t bucketOf(const LVString16& s) const;
    void link(int32_t index, uint32_t bucket);
    void rebuild();

    StringList16 strings_;
    std::vector<Bucket> buckets_;
    std::vector<ChainNode> chain_;
};
