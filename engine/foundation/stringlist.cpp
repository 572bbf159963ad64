#include "foundation/stringlist.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "foundation/log.h"
#include "foundation/textutil.h"

// ---- StringListBase -------------------------------------------------------------------

template <typename S>
StringListBase<S>::StringListBase(const StringListBase& other) {
    if (other.count_ == 0) return;
    reallocate(other.count_);
    for (int32_t i = 0; i < other.count_; ++i) new (items_ + i) S(other.items_[i]);
    count_ = other.count_;
}

template <typename S>
StringListBase<S>::StringListBase(StringListBase&& other) noexcept
    : items_(std::exchange(other.items_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

template <typename S>
StringListBase<S>& StringListBase<S>::operator=(const StringListBase& other) {
    if (this != &other) {
        StringListBase copy(other);
        *this = std::move(copy);
    }
    return *this;
}

template <typename S>
StringListBase<S>& StringListBase<S>::operator=(StringListBase&& other) noexcept {
    if (this != &other) {
        clear();
        items_ = std::exchange(other.items_, nullptr);
        count_ = std::exchange(other.count_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

template <typename S>
StringListBase<S>::~StringListBase() {
    clear();
}

// Moves the elements into a fresh block of exactly newCapacity elements
// (newCapacity >= count_). The strings are moved by their own move
// constructor rather than by realloc, which would copy their bytes.
template <typename S>
void StringListBase<S>::reallocate(int32_t newCapacity) {
    S* fresh = static_cast<S*>(std::malloc(sizeof(S) * static_cast<size_t>(newCapacity)));
    if (!fresh) fatalError(-2, "realloc failed");
    for (int32_t i = 0; i < count_; ++i) {
        new (fresh + i) S(std::move(items_[i]));
        items_[i].~S();
    }
    std::free(items_);
    items_ = fresh;
    capacity_ = newCapacity;
}

template <typename S>
int32_t StringListBase<S>::add(const S& s) {
    if (count_ >= capacity_) {
        S keep(s);  // s may be an element of this list
        reallocate(count_ + 65);
        new (items_ + count_) S(std::move(keep));
    } else {
        new (items_ + count_) S(s);
    }
    return count_++;
}

template <typename S>
void StringListBase<S>::erase(int32_t offset, int32_t count) {
    if (count_ == 0 || offset < 0 || count <= 0 || static_cast<int64_t>(offset) + count > count_)
        return;
    if (count == count_) {
        clear();
        return;
    }
    std::move(items_ + offset + count, items_ + count_, items_ + offset);
    for (int32_t i = count_ - count; i < count_; ++i) items_[i].~S();
    count_ -= count;
}

template <typename S>
void StringListBase<S>::clear() {
    for (int32_t i = 0; i < count_; ++i) items_[i].~S();
    std::free(items_);
    items_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}

template <typename S>
void StringListBase<S>::sort() {
    std::stable_sort(items_, items_ + count_,
                     [](const S& a, const S& b) { return a.compare(b) < 0; });
}

template <typename S>
void StringListBase<S>::sort(Compare compare) {
    // A merge sort stays within the array even if compare is inconsistent.
    std::stable_sort(items_, items_ + count_,
                     [compare](const S& a, const S& b) { return compare(a, b) < 0; });
}

template <typename S>
void StringListBase<S>::addPart(const CharT* part, int32_t partLength, bool trim, bool keepEmpty) {
    if (!trim) {
        add(S(part, partLength));  // stops at a zero character, as any text constructor
        return;
    }
    S item;
    bool pendingSpace = false;
    for (int32_t i = 0; i < partLength; ++i) {
        const CharT c = part[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            pendingSpace = !item.empty();  // leading whitespace is dropped
        } else {
            if (pendingSpace) item.append(1, CharT(' '));
            pendingSpace = false;
            item.append(1, c);
        }
    }
    if (keepEmpty || !item.empty()) add(item);
}

template <typename S>
void StringListBase<S>::split(const S& text, CharT delimiter, bool trim) {
    const CharT* p = text.c_str();
    const int32_t len = text.length();
    if (text.indexOf(delimiter) < 0) {
        addPart(p, len, trim, true);
        return;
    }
    int32_t partStart = 0;
    for (int32_t i = 0; i <= len; ++i) {
        if (i == len || p[i] == delimiter) {
            addPart(p + partStart, i - partStart, trim, !trim);
            partStart = i + 1;
        }
    }
}

template <typename S>
void StringListBase<S>::split(const S& text, const S& delimiter, bool trim) {
    const CharT* p = text.c_str();
    const int32_t len = text.length();
    const int32_t dlen = delimiter.length();
    int32_t found = dlen == 0 ? -1 : text.indexOf(delimiter);
    if (found < 0) {
        addPart(p, len, trim, true);
        return;
    }
    int32_t partStart = 0;
    while (found >= 0) {
        addPart(p + partStart, found - partStart, trim, !trim);
        partStart = found + dlen;
        found = text.indexOf(delimiter, partStart);
    }
    addPart(p + partStart, len - partStart, trim, !trim);
}

template class StringListBase<LVString8>;
template class StringListBase<LVString16>;

// ---- HashedStringList -------------------------------------------------------------------

uint32_t HashedStringList::bucketOf(const LVString16& s) const {
    return fnv1Hash(s.c_str()) % static_cast<uint32_t>(buckets_.size());
}

void HashedStringList::link(int32_t index, uint32_t bucket) {
    Bucket& b = buckets_[bucket];
    if (b.first < 0) {
        b.first = index;
    } else {
        chain_.push_back(ChainNode{index, b.chain});
        b.chain = static_cast<int32_t>(chain_.size() - 1);
    }
}

// Sizes the table to twice a power of two of at least 16 that covers the
// string count, and rehashes every string in index order.
void HashedStringList::rebuild() {
    const int32_t count = strings_.length();
    int64_t a = 16;
    while (a < count) a *= 2;
    buckets_.assign(static_cast<size_t>(2 * a), Bucket{});
    chain_.clear();
    for (int32_t i = 0; i < count; ++i) link(i, bucketOf(strings_[i]));
}

int32_t HashedStringList::find(const LVString16& s) const {
    if (buckets_.empty() || strings_.empty()) return -1;
    const Bucket& b = buckets_[bucketOf(s)];
    if (b.first < 0) return -1;
    if (strings_[b.first] == s) return b.first;
    for (int32_t n = b.chain; n >= 0; n = chain_[n].next)
        if (strings_[chain_[n].index] == s) return chain_[n].index;
    return -1;
}

int32_t HashedStringList::add(const LVString16& s) {
    if (buckets_.empty() || static_cast<int64_t>(buckets_.size()) < 2 * int64_t{strings_.length()})
        rebuild();
    const int32_t existing = find(s);
    if (existing >= 0) return existing;
    const int32_t index = strings_.add(s);
    link(index, bucketOf(s));
    return index;
}

void HashedStringList::clear() {
    strings_.clear();
    std::vector<Bucket>().swap(buckets_);
    std::vector<ChainNode>().swap(chain_);
}
