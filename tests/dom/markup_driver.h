// Builds documents for the writer, position, search and TOC tests from a
// compact markup string, delivered to a callback as parser events:
//   <name a="v" b=v c>   OnTagOpen, OnAttribute per attribute, OnTagBody
//   <name/>              OnTagOpen, attributes, OnTagBody, OnTagClose
//   </name>              OnTagClose
//   <ns:name ns:a="v">   prefixes
//   other text           OnText with the flags getFlags() returns; when they
//                        hold TEXT_PRE_PARA_SPLITTING, one run per line
//   "<name a="v"" at the very end: open and attributes without OnTagBody,
//                        as a page cut off inside a tag
// No entities: characters are written directly (UTF-8).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/treedump.h"
#include "dom/writer.h"
#include "dom/xmlcallback.h"

namespace markup {

inline std::u16string u16(const std::string& s) {
    LVString16 w(s.c_str(), static_cast<int32_t>(s.size()));
    return std::u16string(w.c_str(), static_cast<size_t>(w.length()));
}

inline std::string utf8(const LVString16& s) {
    LVString8 e = encodeUtf8(s);
    return std::string(e.c_str(), static_cast<size_t>(e.length()));
}

inline void splitName(const std::u16string& q, std::u16string& prefix, std::u16string& name) {
    size_t colon = q.find(u':');
    prefix = colon == std::u16string::npos ? u"" : q.substr(0, colon);
    name = colon == std::u16string::npos ? q : q.substr(colon + 1);
}

inline void deliverText(LVXMLParserCallback& cb, const std::u16string& text) {
    if (text.empty()) return;
    uint32_t flags = cb.getFlags();
    if (!(flags & TEXT_PRE_PARA_SPLITTING)) {
        cb.OnText(text.data(), static_cast<int32_t>(text.size()), flags);
        return;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        if (end > start)
            cb.OnText(text.data() + start, static_cast<int32_t>(end - start), cb.getFlags());
        start = end + 1;
    }
}

// Delivers the markup's events (framed by OnStart/OnStop when startStop).
inline void feed(LVXMLParserCallback& cb, const std::string& markup, bool startStop = true) {
    const std::u16string s = u16(markup);
    if (startStop) cb.OnStart(nullptr);
    size_t i = 0;
    std::u16string text;
    auto isSpace = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; };
    while (i < s.size()) {
        if (s[i] != u'<') {
            text += s[i++];
            continue;
        }
        deliverText(cb, text);
        text.clear();
        ++i;
        bool closing = i < s.size() && s[i] == u'/';
        if (closing) ++i;
        size_t nameStart = i;
        while (i < s.size() && !isSpace(s[i]) && s[i] != u'>' && s[i] != u'/') ++i;
        std::u16string prefix, name;
        splitName(s.substr(nameStart, i - nameStart), prefix, name);
        if (closing) {
            while (i < s.size() && s[i] != u'>') ++i;
            ++i;
            cb.OnTagClose(prefix.c_str(), name.c_str());
            continue;
        }
        cb.OnTagOpen(prefix.c_str(), name.c_str());
        bool empty = false;
        bool truncated = true;
        while (i < s.size()) {
            while (i < s.size() && isSpace(s[i])) ++i;
            if (i >= s.size()) break;
            if (s[i] == u'>') {
                ++i;
                truncated = false;
                break;
            }
            if (s[i] == u'/') {
                empty = true;
                ++i;
                continue;
            }
            size_t a = i;
            while (i < s.size() && !isSpace(s[i]) && s[i] != u'=' && s[i] != u'>') ++i;
            std::u16string aprefix, aname, value;
            splitName(s.substr(a, i - a), aprefix, aname);
            if (i < s.size() && s[i] == u'=') {
                ++i;
                if (i < s.size() && s[i] == u'"') {
                    size_t end = s.find(u'"', i + 1);
                    if (end == std::u16string::npos) end = s.size();
                    value = s.substr(i + 1, end - i - 1);
                    i = end + 1;
                } else {
                    size_t v = i;
                    while (i < s.size() && !isSpace(s[i]) && s[i] != u'>') ++i;
                    value = s.substr(v, i - v);
                }
            }
            if (i > s.size()) i = s.size();
            cb.OnAttribute(aprefix.c_str(), aname.c_str(), value.c_str());
        }
        if (truncated) break;
        cb.OnTagBody();
        if (empty) cb.OnTagClose(prefix.c_str(), name.c_str());
    }
    deliverText(cb, text);
    if (startStop) cb.OnStop();
}

enum class Writer { Plain, Filter };

inline Ref<ldomDocument> build(const std::string& markup, Writer kind = Writer::Plain,
                               uint32_t docFlags = DOC_FLAGS_DEFAULT) {
    Ref<ldomDocument> doc = ldomDocument::create();
    doc->setDocFlags(docFlags);
    if (kind == Writer::Plain) {
        ldomDocumentWriter writer(doc.get());
        feed(writer, markup);
    } else {
        ldomDocumentWriterFilter writer(doc.get());
        feed(writer, markup);
    }
    return doc;
}

// The tree as compact XML text.
inline std::string xml(const ldomDocument* doc) {
    LVString8 x = dumpTreeXml(doc->getRootNode(), false);
    return std::string(x.c_str(), static_cast<size_t>(x.length()));
}

inline std::string prop(const ldomDocument* doc, const char* name) {
    LVString16 v;
    doc->getProps()->getString(name, v);
    return utf8(v);
}

}  // namespace markup
