#include "foundation/props.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/serialbuf.h"

namespace {

// Byte-wise comparison of a[0..an) and b[0..bn), as strcmp orders them.
int compareBytes(const char* a, size_t an, const char* b, size_t bn) {
    int c = std::memcmp(a, b, std::min(an, bn));
    if (c) return c < 0 ? -1 : 1;
    return an < bn ? -1 : an > bn ? 1 : 0;
}

size_t nameLength(const char* name) { return name ? std::strlen(name) : 0; }

// UTF-8 to 16-bit text keeping zero bytes as zero characters.
LVString16 decodeWithZeros(const char* bytes, size_t length) {
    LVString16 out;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && bytes[i] != 0) continue;
        if (i > start) out.append(decodeUtf8(bytes + start, i - start));
        if (i < length) out.append(1, lvchar16(0));
        start = i + 1;
    }
    return out;
}

// Parses an optionally signed decimal number after optional blanks, as %d
// does, saturating at the int32 limits. p advances past it.
bool scanInt(const char*& p, int32_t& out) {
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    int64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        if (v <= INT32_MAX + int64_t{1}) v = v * 10 + (*p - '0');
        ++p;
    }
    if (negative) v = -v;
    out = static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    return true;
}

// "{%d,%d,...}" with count numbers; the closing brace is not required.
bool scanBraced(const LVString16& value, int32_t* out, int count) {
    LVString8 text = encodeUtf8(value);
    const char* p = text.c_str();
    if (*p++ != '{') return false;
    for (int i = 0; i < count; ++i) {
        if (i && *p++ != ',') return false;
        if (!scanInt(p, out[i])) return false;
    }
    return true;
}

LVString16 formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
LVString16 formatText(const char* format, ...) {
    char buf[96];
    va_list args;
    va_start(args, format);
    vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return LVString16(buf);
}

bool valueIs(const LVString16& v, const char* const* words) {
    for (; *words; ++words)
        if (v == *words) return true;
    return false;
}

}  // namespace

// ---- Typed access ---------------------------------------------------------

LVString16 QLPropAccessor::getStringOr(const char* name, const char* def) const {
    LVString16 v;
    if (getString(name, v)) return v;
    LVString16 d;
    if (def) d = def;  // widened byte by byte
    return d;
}

void QLPropAccessor::setStringIfAbsent(const char* name, const LVString16& value) {
    if (!hasProperty(name)) setString(name, value);
}

void QLPropAccessor::setStringIfAbsent(const char* name, const char* text) {
    if (!hasProperty(name)) setString(name, text);
}

void QLPropAccessor::setString(const char* name, const char* text) {
    setString(name, LVString8(text));
}

void QLPropAccessor::setString(const char* name, const LVString8& text) {
    setString(name, decodeWithZeros(text.c_str(), static_cast<size_t>(text.length())));
}

void QLPropAccessor::restrictToList(const char* name, const int32_t* values, int32_t count) {
    if (!values || count <= 0) return;
    LVString16 v;
    if (getString(name, v))
        for (int32_t i = 0; i < count; ++i)
            if (v == intToString16(values[i])) return;
    setInt(name, values[0]);
}

void QLPropAccessor::restrictToList(const char* name, const char* const* texts) {
    if (!texts || !texts[0]) return;
    LVString16 v;
    if (getString(name, v))
        for (const char* const* t = texts; *t; ++t)
            if (v == LVString16(*t)) return;
    setString(name, texts[0]);
}

bool QLPropAccessor::getInt(const char* name, int32_t& out) const {
    LVString16 v;
    int32_t n;
    if (!getString(name, v) || !v.parseDecimal(n)) return false;
    out = n;
    return true;
}

int32_t QLPropAccessor::getIntOr(const char* name, int32_t def) const {
    int32_t v = def;
    return getInt(name, v) ? v : def;
}

void QLPropAccessor::setInt(const char* name, int32_t value) {
    setString(name, intToString16(value));
}

void QLPropAccessor::setIntIfAbsent(const char* name, int32_t value) {
    if (!hasProperty(name)) setInt(name, value);
}

void QLPropAccessor::setHex(const char* name, uint32_t value) {
    setString(name, formatText("0x%08X", value));
}

void QLPropAccessor::setHexIfAbsent(const char* name, uint32_t value) {
    if (!hasProperty(name)) setHex(name, value);
}

bool QLPropAccessor::getInt64(const char* name, int64_t& out) const {
    LVString16 v;
    int64_t n;
    if (!getString(name, v) || !v.parseDecimal64(n)) return false;
    out = n;
    return true;
}

int64_t QLPropAccessor::getInt64Or(const char* name, int64_t def) const {
    int64_t v = def;
    return getInt64(name, v) ? v : def;
}

void QLPropAccessor::setInt64(const char* name, int64_t value) {
    setString(name, intToString16(value));
}

bool QLPropAccessor::getBool(const char* name, bool& out) const {
    static const char* const kTrue[] = {"true", "TRUE", "yes", "YES", "1", nullptr};
    static const char* const kFalse[] = {"false", "FALSE", "no", "NO", "0", nullptr};
    LVString16 v;
    if (!getString(name, v)) return false;
    if (valueIs(v, kTrue)) {
        out = true;
        return true;
    }
    if (valueIs(v, kFalse)) {
        out = false;
        return true;
    }
    return false;
}

bool QLPropAccessor::getBoolOr(const char* name, bool def) const {
    bool v = def;
    return getBool(name, v) ? v : def;
}

void QLPropAccessor::setBool(const char* name, bool value) { setString(name, value ? "1" : "0"); }

bool QLPropAccessor::getColor(const char* name, uint32_t& out) const {
    LVString16 v;
    if (!getString(name, v) || v.empty()) return false;
    int32_t i;
    if (v[0] == '#') i = 1;
    else if (v.length() >= 2 && v[0] == '0' && v[1] == 'x') i = 2;
    else return false;
    uint32_t color = 0;  // unsigned: an overlong value wraps
    for (; i < v.length(); ++i) {
        lvchar16 c = v[i];
        uint32_t d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        color = (color << 4) | d;
    }
    out = color;
    return true;
}

uint32_t QLPropAccessor::getColorOr(const char* name, uint32_t def) const {
    uint32_t v = def;
    return getColor(name, v) ? v : def;
}

void QLPropAccessor::setColorIfInvalid(const char* name, uint32_t value) {
    uint32_t v;
    if (!getColor(name, v)) setColor(name, value);
}

void QLPropAccessor::setColor(const char* name, uint32_t value) {
    setString(name, formatText("#%06x", value));
}

bool QLPropAccessor::getRect(const char* name, PropRect& out) const {
    LVString16 v;
    int32_t n[4];
    if (!getString(name, v) || !scanBraced(v, n, 4)) return false;
    out = {n[0], n[1], n[2], n[3]};
    return true;
}

PropRect QLPropAccessor::getRectOr(const char* name, const PropRect& def) const {
    PropRect r = def;
    return getRect(name, r) ? r : def;
}

void QLPropAccessor::setRect(const char* name, const PropRect& r) {
    setString(name, formatText("{%d,%d,%d,%d}", r.left, r.top, r.right, r.bottom));
}

bool QLPropAccessor::getPoint(const char* name, PropPoint& out) const {
    LVString16 v;
    int32_t n[2];
    if (!getString(name, v) || !scanBraced(v, n, 2)) return false;
    out = {n[0], n[1]};
    return true;
}

PropPoint QLPropAccessor::getPointOr(const char* name, const PropPoint& def) const {
    PropPoint p = def;
    return getPoint(name, p) ? p : def;
}

void QLPropAccessor::setPoint(const char* name, const PropPoint& p) {
    setString(name, formatText("{%d,%d}", p.x, p.y));
}

void QLPropAccessor::merge(const QLPropAccessor& other) {
    if (&other == this) return;
    for (int32_t i = 0; i < other.getCount(); ++i)
        setString(other.getName(i).c_str(), other.getValue(i));
}

// ---- Text form ----------------------------------------------------------------

LVString8 QLPropAccessor::toText() const {
    LVString8 out("\xEF\xBB\xBF");
    LVString8 full = prefix();
    for (int32_t i = 0; i < getCount(); ++i) {
        out.append(full);
        out.append(getName(i));
        out.append(1, '=');
        LVString16 value = getValue(i);
        LVString8 bytes = encodeUtf8(value.c_str(), static_cast<size_t>(value.length()));
        for (int32_t k = 0; k < bytes.length(); ++k) {
            char c = bytes[k];
            switch (c) {
            case 0:
                out.append("\\0");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\\':
                out.append("\\\\");
                break;
            default:
                out.append(1, c);
            }
        }
        out.append("\r\n");
    }
    return out;
}

void QLPropAccessor::fromText(const char* bytes, size_t length) {
    if (!bytes) return;
    size_t pos = 0;
    if (length >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) pos = 3;
    std::vector<char> value;
    while (pos < length) {
        const char* nl = static_cast<const char*>(std::memchr(bytes + pos, '\n', length - pos));
        size_t end = nl ? static_cast<size_t>(nl - bytes) : length;
        size_t next = nl ? end + 1 : length;
        if (end > pos && bytes[end - 1] == '\r') --end;
        const char* line = bytes + pos;
        size_t lineLen = end - pos;
        pos = next;
        if (lineLen == 0 || line[0] == '#') continue;
        const char* eq = static_cast<const char*>(std::memchr(line, '=', lineLen));
        if (!eq || eq == line) continue;
        LVString8 key(line, static_cast<int32_t>(eq - line));
        if (key.length() != eq - line) continue;  // a zero byte inside the name
        // Unescape inside the value only; a lone backslash at its end stays.
        value.clear();
        for (const char* p = eq + 1; p < line + lineLen; ++p) {
            if (*p != '\\' || p + 1 == line + lineLen) {
                value.push_back(*p);
                continue;
            }
            char c = *++p;
            value.push_back(c == '0' ? '\0' : c == 'n' ? '\n' : c == 'r' ? '\r' : c);
        }
        setString(key.c_str(), decodeWithZeros(value.data(), value.size()));
    }
}

// ---- Binary form ----------------------------------------------------------------

void QLPropAccessor::writeBinary(SerialBuffer& buf) const {
    if (buf.error()) return;
    size_t start = buf.pos();
    buf.writeTag("PRPS");
    buf.writeU32(static_cast<uint32_t>(getCount()));
    for (int32_t i = 0; i < getCount(); ++i) {
        buf.writeTag("n=");
        buf.writeString(getName(i));
        buf.writeTag("v=");
        buf.writeString(getValue(i));
    }
    buf.writeCrc(buf.pos() - start);
}

bool QLPropAccessor::readBinary(SerialBuffer& buf) {
    clear();
    if (buf.error()) return false;
    size_t start = buf.pos();
    uint32_t count = 0;
    if (!buf.verifyTag("PRPS") || !buf.readU32(count)) return false;
    // The count comes from the data: the loop ends at the first failed read.
    for (uint32_t i = 0; i < count; ++i) {
        LVString8 name;
        LVString16 value;
        if (!buf.verifyTag("n=") || !buf.readString(name) || !buf.verifyTag("v=") ||
            !buf.readString(value))
            return false;
        setString(name.c_str(), value);
    }
    buf.verifyCrc(buf.pos() - start);
    return !buf.error();
}

QLPropRef createPropsContainer() { return QLPropRef(new QLPropContainer()); }

// ---- QLPropContainer ------------------------------------------------------------

bool QLPropContainer::find(const char* name, size_t nameLen, size_t lo, size_t hi, size_t skip,
                           size_t& index) const {
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        const LVString8& n = items_[mid].name;
        size_t len = static_cast<size_t>(n.length());
        size_t from = std::min(skip, len);
        int c = compareBytes(name, nameLen, n.c_str() + from, len - from);
        if (c == 0) {
            index = mid;
            return true;
        }
        if (c < 0) hi = mid;
        else lo = mid + 1;
    }
    index = lo;
    return false;
}

void QLPropContainer::prefixRange(const LVString8& prefix, size_t& start, size_t& end) const {
    const char* p = prefix.c_str();
    size_t pn = static_cast<size_t>(prefix.length());
    // Names starting with the prefix are contiguous: from the first name not
    // below the prefix up to the first one that does not start with it.
    auto first = std::partition_point(items_.begin(), items_.end(), [&](const Item& it) {
        return compareBytes(it.name.c_str(), static_cast<size_t>(it.name.length()), p, pn) < 0;
    });
    auto last = std::partition_point(first, items_.end(), [&](const Item& it) {
        return static_cast<size_t>(it.name.length()) >= pn &&
               std::memcmp(it.name.c_str(), p, pn) == 0;
    });
    start = static_cast<size_t>(first - items_.begin());
    end = static_cast<size_t>(last - items_.begin());
}

void QLPropContainer::insert(size_t index, const LVString8& name, const LVString16& value) {
    items_.insert(items_.begin() + static_cast<ptrdiff_t>(index), Item{name, value});
    ++revision_;
}

void QLPropContainer::erase(size_t start, size_t end) {
    items_.erase(items_.begin() + static_cast<ptrdiff_t>(start),
                 items_.begin() + static_cast<ptrdiff_t>(end));
    ++revision_;
}

void QLPropContainer::clear() {
    items_.clear();
    ++revision_;
}

LVString8 QLPropContainer::getName(int32_t index) const {
    if (index < 0 || index >= getCount()) return LVString8();
    return items_[static_cast<size_t>(index)].name;
}

LVString16 QLPropContainer::getValue(int32_t index) const {
    if (index < 0 || index >= getCount()) return LVString16();
    return items_[static_cast<size_t>(index)].value;
}

void QLPropContainer::setValue(int32_t index, const LVString16& value) {
    if (index >= 0 && index < getCount()) items_[static_cast<size_t>(index)].value = value;
}

bool QLPropContainer::hasProperty(const char* name) const {
    size_t i;
    return find(name ? name : "", nameLength(name), 0, items_.size(), 0, i);
}

bool QLPropContainer::getString(const char* name, LVString16& out) const {
    size_t i;
    if (!find(name ? name : "", nameLength(name), 0, items_.size(), 0, i)) return false;
    out = items_[i].value;
    return true;
}

void QLPropContainer::setString(const char* name, const LVString16& value) {
    if (!name) name = "";
    size_t i;
    if (find(name, nameLength(name), 0, items_.size(), 0, i)) items_[i].value = value;
    else insert(i, LVString8(name), value);
}

QLPropRef QLPropContainer::subProps(const char* prefix) {
    return QLPropRef(new QLPropSubContainer(Ref<QLPropContainer>(this), LVString8(prefix)));
}

QLPropRef QLPropContainer::clone() const {
    QLPropContainer* copy = new QLPropContainer();
    copy->items_ = items_;
    return QLPropRef(copy);
}

// ---- QLPropSubContainer -----------------------------------------------------------

QLPropSubContainer::QLPropSubContainer(const Ref<QLPropContainer>& parent, const LVString8& prefix)
    : parent_(parent), prefix_(prefix) {}

void QLPropSubContainer::syncRange() const {
    if (valid_ && revision_ == parent_->revision_) return;
    parent_->prefixRange(prefix_, start_, end_);
    revision_ = parent_->revision_;
    valid_ = true;
    ++rangeComputations_;
}

bool QLPropSubContainer::findRelative(const char* name, size_t& index) const {
    syncRange();
    if (!name) name = "";
    return parent_->find(name, nameLength(name), start_, end_,
                         static_cast<size_t>(prefix_.length()), index);
}

void QLPropSubContainer::clear() {
    syncRange();
    parent_->erase(start_, end_);
}

int32_t QLPropSubContainer::getCount() const {
    syncRange();
    return static_cast<int32_t>(end_ - start_);
}

LVString8 QLPropSubContainer::getName(int32_t index) const {
    if (index < 0 || index >= getCount()) return LVString8();
    const LVString8& full = parent_->items_[start_ + static_cast<size_t>(index)].name;
    return full.substr(prefix_.length());
}

LVString16 QLPropSubContainer::getValue(int32_t index) const {
    if (index < 0 || index >= getCount()) return LVString16();
    return parent_->items_[start_ + static_cast<size_t>(index)].value;
}

void QLPropSubContainer::setValue(int32_t index, const LVString16& value) {
    if (index < 0 || index >= getCount()) return;
    parent_->items_[start_ + static_cast<size_t>(index)].value = value;
}

bool QLPropSubContainer::hasProperty(const char* name) const {
    size_t i;
    return findRelative(name, i);
}

bool QLPropSubContainer::getString(const char* name, LVString16& out) const {
    size_t i;
    if (!findRelative(name, i)) return false;
    out = parent_->items_[i].value;
    return true;
}

void QLPropSubContainer::setString(const char* name, const LVString16& value) {
    size_t i;
    if (findRelative(name, i)) {
        parent_->items_[i].value = value;
        return;
    }
    parent_->insert(i, prefix_ + LVString8(name ? name : ""), value);
}

QLPropRef QLPropSubContainer::subProps(const char* prefix) {
    return parent_->subProps((prefix_ + LVString8(prefix)).c_str());
}

QLPropRef QLPropSubContainer::clone() const {
    QLPropContainer* copy = new QLPropContainer();
    syncRange();
    size_t skip = static_cast<size_t>(prefix_.length());
    for (size_t i = start_; i < end_; ++i) {
        const QLPropContainer::Item& it = parent_->items_[i];
        copy->items_.push_back({it.name.substr(static_cast<int32_t>(skip)), it.value});
    }
    return QLPropRef(copy);
}
