// Property sets: typed access to an ordered set of (8-bit name, 16-bit value)
// pairs, used for view settings and document properties.
//
// QLPropContainer keeps its pairs sorted by name (byte-wise, as strcmp) with
// no duplicates. QLPropSubContainer is a live view of the pairs whose names
// start with a prefix such as "styles.", shown with the prefix cut off;
// writes through the view reach its parent. Both are reference counted:
// create containers with createPropsContainer and hold them through QLPropRef.
// A view holds a reference to its parent, so it may outlive every other
// handle on it.
//
// Values are text; typed getters parse it and report failure by returning
// false (the output left unchanged) or, in the "Or" forms, the default.
//
// Text form: UTF-8 with a byte-order mark, one "name=value\r\n" line per pair,
// in order; in values NUL, line feed, carriage return and backslash are
// written as \0 \n \r \\. Loading skips lines that begin with "#" or "=" or
// have no "="; the name is everything before the first "=". The stream-based
// load and save live in streams/propsio.h.
//
// Binary form: "PRPS", a 32-bit count, then for each pair "n=", the name,
// "v=", the value (SerialBuffer strings), then the CRC-32 of the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/lvstring.h"
#include "foundation/refcount.h"

class SerialBuffer;
class QLPropAccessor;
class QLPropContainer;

using QLPropRef = Ref<QLPropAccessor>;

struct PropRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const PropRect&) const = default;
};

struct PropPoint {
    int32_t x = 0, y = 0;
    bool operator==(const PropPoint&) const = default;
};

class QLPropAccessor : public LVRefCounter {
public:
    ~QLPropAccessor() override = default;

    // ---- Raw operations ---------------------------------------------------
    // The prefix of a view; empty for a container.
    virtual LVString8 prefix() const = 0;
    // Removes every pair (a view removes its pairs from the parent).
    virtual void clear() = 0;
    virtual int32_t getCount() const = 0;
    // Name (relative to the prefix for a view) and value of pair index;
    // empty strings for an index out of range.
    virtual LVString8 getName(int32_t index) const = 0;
    virtual LVString16 getValue(int32_t index) const = 0;
    // Replaces the value of pair index (ignored when out of range).
    virtual void setValue(int32_t index, const LVString16& value) = 0;
    virtual bool hasProperty(const char* name) const = 0;
    virtual bool getString(const char* name, LVString16& out) const = 0;
    // Inserts or replaces.
    virtual void setString(const char* name, const LVString16& value) = 0;
    // A live view of the pairs under prefix (a view asks its parent for
    // prefix() + prefix).
    virtual QLPropRef subProps(const char* prefix) = 0;
    // An independent container with the same pairs (a view's under their
    // relative names).
    virtual QLPropRef clone() const = 0;

    // ---- Strings ----------------------------------------------------------
    // The value, or def widened byte by byte.
    LVString16 getStringOr(const char* name, const char* def) const;
    void setStringIfAbsent(const char* name, const LVString16& value);
    // text is UTF-8.
    void setStringIfAbsent(const char* name, const char* text);
    void setString(const char* name, const char* text);
    void setString(const char* name, const LVString8& text);

    // The first list value is the default: unless the current value is the
    // text of one of the list values, it becomes the first one's. An empty
    // list changes nothing.
    void restrictToList(const char* name, const int32_t* values, int32_t count);
    // The same with a null-terminated list of UTF-8 texts.
    void restrictToList(const char* name, const char* const* texts);

    // ---- Numbers ----------------------------------------------------------
    // Decimal (with optional blanks and sign; "0x" reads hexadecimal).
    bool getInt(const char* name, int32_t& out) const;
    int32_t getIntOr(const char* name, int32_t def) const;
    void setInt(const char* name, int32_t value);
    void setIntIfAbsent(const char* name, int32_t value);
    // "0x%08X".
    void setHex(const char* name, uint32_t value);
    void setHexIfAbsent(const char* name, uint32_t value);
    bool getInt64(const char* name, int64_t& out) const;
    int64_t getInt64Or(const char* name, int64_t def) const;
    void setInt64(const char* name, int64_t value);

    // true/TRUE/yes/YES/1 and false/FALSE/no/NO/0; anything else fails.
    bool getBool(const char* name, bool& out) const;
    bool getBoolOr(const char* name, bool def) const;
    void setBool(const char* name, bool value);  // "1" or "0"

    // "#" or "0x" followed by hexadecimal digits only ("#" alone is 0);
    // overlong values keep their last eight digits.
    bool getColor(const char* name, uint32_t& out) const;
    uint32_t getColorOr(const char* name, uint32_t def) const;
    void setColorIfInvalid(const char* name, uint32_t value);
    void setColor(const char* name, uint32_t value);  // "#%06x"

    // "{left,top,right,bottom}" and "{x,y}".
    bool getRect(const char* name, PropRect& out) const;
    PropRect getRectOr(const char* name, const PropRect& def) const;
    void setRect(const char* name, const PropRect& rect);
    bool getPoint(const char* name, PropPoint& out) const;
    PropPoint getPointOr(const char* name, const PropPoint& def) const;
    void setPoint(const char* name, const PropPoint& point);

    // setString(other name i, other value i) for every pair of other, in order.
    void merge(const QLPropAccessor& other);

    // ---- Persistent forms -------------------------------------------------
    // The text form (see above); views write full names.
    LVString8 toText() const;
    // Adds the pairs of a text form (a BOM is skipped); malformed lines are
    // skipped. A trailing lone backslash in a value is kept as it is.
    void fromText(const char* bytes, size_t length);
    // Writes the binary record (nothing when the buffer is in error). Views
    // write their relative names.
    void writeBinary(SerialBuffer& buf) const;
    // Clears, then reads a binary record. False on a missing tag, a short
    // buffer or a CRC mismatch (the pairs read so far stay).
    bool readBinary(SerialBuffer& buf);
};

// A new empty container.
QLPropRef createPropsContainer();

class QLPropContainer : public QLPropAccessor {
public:
    QLPropContainer() = default;

    LVString8 prefix() const override { return LVString8(); }
    void clear() override;
    int32_t getCount() const override { return static_cast<int32_t>(items_.size()); }
    LVString8 getName(int32_t index) const override;
    LVString16 getValue(int32_t index) const override;
    void setValue(int32_t index, const LVString16& value) override;
    bool hasProperty(const char* name) const override;
    bool getString(const char* name, LVString16& out) const override;
    using QLPropAccessor::setString;
    void setString(const char* name, const LVString16& value) override;
    QLPropRef subProps(const char* prefix) override;
    QLPropRef clone() const override;

    // Grows by one at every insertion and every clear (also through views).
    uint64_t revision() const { return revision_; }

private:
    friend class QLPropSubContainer;
    struct Item {
        LVString8 name;
        LVString16 value;
    };

    // Binary search of name (nameLen bytes) over [lo, hi), comparing each
    // pair name from byte skip on. Found: true and the index; otherwise the
    // insertion index.
    bool find(const char* name, size_t nameLen, size_t lo, size_t hi, size_t skip,
              size_t& index) const;
    // [start, end) of the pairs whose names start with prefix.
    void prefixRange(const LVString8& prefix, size_t& start, size_t& end) const;
    void insert(size_t index, const LVString8& name, const LVString16& value);
    void erase(size_t start, size_t end);

    std::vector<Item> items_;
    uint64_t revision_ = 0;
};

class QLPropSubContainer : public QLPropAccessor {
public:
    QLPropSubContainer(const Ref<QLPropContainer>& parent, const LVString8& prefix);

    LVString8 prefix() const override { return prefix_; }
    void clear() override;
    int32_t getCount() const override;
    LVString8 getName(int32_t index) const override;
    LVString16 getValue(int32_t index) const override;
    void setValue(int32_t index, const LVString16& value) override;
    bool hasProperty(const char* name) const override;
    bool getString(const char* name, LVString16& out) const override;
    using QLPropAccessor::setString;
    void setString(const char* name, const LVString16& value) override;
    QLPropRef subProps(const char* prefix) override;
    QLPropRef clone() const override;

    // How often the index range was computed (it is cached until the
    // parent's revision changes).
    uint64_t rangeComputations() const { return rangeComputations_; }

private:
    void syncRange() const;
    bool findRelative(const char* name, size_t& index) const;

    Ref<QLPropContainer> parent_;
    LVString8 prefix_;
    mutable size_t start_ = 0, end_ = 0;
    mutable uint64_t revision_ = 0;
    mutable bool valid_ = false;
    mutable uint64_t rangeComputations_ = 0;
};
