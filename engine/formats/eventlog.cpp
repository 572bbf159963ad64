#include "formats/eventlog.h"

#include <cinttypes>

namespace {

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u16string str16(const lvchar16* s) { return s ? std::u16string(s) : std::u16string(); }

std::string qualified(const lvchar16* prefix, const lvchar16* name) {
    std::string out;
    if (prefix && *prefix) {
        const std::u16string p(prefix);
        out = LVEventLog::escape(p.data(), static_cast<int32_t>(p.size())) + ":";
    }
    const std::u16string n = str16(name);
    return out + LVEventLog::escape(n.data(), static_cast<int32_t>(n.size()));
}

}  // namespace

std::string LVEventLog::escape(const lvchar16* text, int32_t length) {
    std::string out;
    out.reserve(static_cast<size_t>(length > 0 ? length : 0));
    for (int32_t i = 0; i < length; ++i) {
        const uint32_t c = text[i];
        switch (c) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        default: break;
        }
        char buf[16];
        if (c < 0x20 || c == 0x7F) {
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            snprintf(buf, sizeof buf, "\\u%04X", c);
            out += buf;
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

void LVEventLog::emit(const std::string& line) {
    if (out_) {
        fwrite(line.data(), 1, line.size(), out_);
        fputc('\n', out_);
    } else {
        text_ += line;
        text_ += '\n';
    }
}

uint32_t LVEventLog::getFlags() { return baseFlags_ | (preDepth_ > 0 ? uint32_t(TEXT_PRE) : 0u); }

void LVEventLog::OnEncoding(const LVString16& name, const lvchar16* table) {
    emit("ENCODING " + escape(name.c_str(), name.length()) + (table ? " +table" : ""));
}

void LVEventLog::OnStart(LVFileFormatParser* parser) {
    LVXMLParserCallback::OnStart(parser);
    open_.clear();
    preDepth_ = 0;
    emit("START");
}

void LVEventLog::OnStop() { emit("STOP"); }

ldomNode* LVEventLog::OnTagOpen(const lvchar16* prefix, const lvchar16* name) {
    open_.push_back(str16(name));
    if (!preName_.empty() && open_.back() == preName_) ++preDepth_;
    emit("OPEN " + qualified(prefix, name));
    return nullptr;
}

void LVEventLog::OnTagBody() { emit("BODY"); }

void LVEventLog::OnTagClose(const lvchar16* prefix, const lvchar16* name) {
    emit("CLOSE " + qualified(prefix, name));
    // Close down to the nearest open element of that name, as a writer does.
    const std::u16string n = str16(name);
    for (size_t i = open_.size(); i-- > 0;) {
        if (open_[i] != n) continue;
        for (size_t k = i; k < open_.size(); ++k)
            if (!preName_.empty() && open_[k] == preName_) --preDepth_;
        open_.resize(i);
        break;
    }
}

void LVEventLog::OnAttribute(const lvchar16* prefix, const lvchar16* name, const lvchar16* value) {
    const std::u16string v = str16(value);
    emit("ATTR " + qualified(prefix, name) + "=\"" +
         escape(v.data(), static_cast<int32_t>(v.size())) + "\"");
}

void LVEventLog::OnText(const lvchar16* text, int32_t length, uint32_t flags) {
    char buf[16];
    snprintf(buf, sizeof buf, " 0x%04" PRIX32, flags);
    emit("TEXT \"" + escape(text, length) + "\"" + buf);
}

bool LVEventLog::OnBlob(const LVString16& name, const uint8_t*, int32_t size) {
    emit("BLOB " + escape(name.c_str(), name.length()) + " " + std::to_string(size));
    return true;
}

void LVEventLog::OnDocProperty(const char* name, const LVString8& value) {
    const LVString16 v = decodeUtf8(value.c_str(), static_cast<size_t>(value.length()));
    emit(std::string("PROP ") + (name ? name : "") + "=\"" + escape(v.c_str(), v.length()) + "\"");
}
