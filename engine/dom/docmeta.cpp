#include "dom/docmeta.h"

#include "dom/ldomdocument.h"

namespace {

constexpr int kMaxAuthors = 16;

bool isTrimmedSpace(lvchar16 c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0; }

LVString16 trimmed(const LVString16& s) {
    int32_t b = 0, e = s.length();
    while (b < e && isTrimmedSpace(s[b])) ++b;
    while (e > b && isTrimmedSpace(s[e - 1])) --e;
    return b == 0 && e == s.length() ? s : s.substr(b, e - b);
}

uint16_t elementId(const lxmlDocBase* doc, const char* name) {
    return doc->findElementNameIndex(LVString16(name));
}

// /FictionBook/description/title-info, or null.
ldomNode* titleInfo(const lxmlDocBase* doc) {
    ldomNode* root = doc ? doc->getRootNode() : nullptr;
    if (!root) return nullptr;
    const uint16_t path[] = {elementId(doc, "FictionBook"), elementId(doc, "description"),
                             elementId(doc, "title-info"), 0};
    for (int i = 0; i < 3; ++i)
        if (!path[i]) return nullptr;
    return root->findChildElement(path);
}

LVString16 childText(const lxmlDocBase* doc, const ldomNode* parent, const char* name) {
    uint16_t id = elementId(doc, name);
    ldomNode* child = parent && id ? parent->findChildElement(ldomNode::kAnyNamespace, id, -1) : nullptr;
    return child ? trimmed(child->getText()) : LVString16();
}

ldomNode* firstSequence(const lxmlDocBase* doc) {
    ldomNode* info = titleInfo(doc);
    uint16_t id = elementId(doc, "sequence");
    return info && id ? info->findChildElement(ldomNode::kAnyNamespace, id, -1) : nullptr;
}

}  // namespace

LVString16 docBookTitle(const lxmlDocBase* doc) { return childText(doc, titleInfo(doc), "book-title"); }

LVString16 docLanguage(const lxmlDocBase* doc) { return childText(doc, titleInfo(doc), "lang"); }

bool docSeriesParts(const lxmlDocBase* doc, LVString16& name, int32_t& number) {
    name.clear();
    number = 0;
    ldomNode* seq = firstSequence(doc);
    if (!seq) return false;
    name = trimmed(seq->getAttributeValue("", "name"));
    if (name.empty()) return false;
    if (!trimmed(seq->getAttributeValue("", "number")).parseDecimal(number)) number = 0;
    return true;
}

LVString16 docSeries(const lxmlDocBase* doc) {
    ldomNode* seq = firstSequence(doc);
    if (!seq) return LVString16();
    LVString16 name = trimmed(seq->getAttributeValue("", "name"));
    if (name.empty()) return LVString16();
    LVString16 number = trimmed(seq->getAttributeValue("", "number"));
    LVString16 out("(");
    out.append(name);
    if (!number.empty()) {
        out.append(LVString16(" #"));
        out.append(number);
    }
    out.append(1, u')');
    return out;
}

LVString16 docAuthors(const lxmlDocBase* doc, const LVString16& delimiter, bool shortMiddleName) {
    ldomNode* info = titleInfo(doc);
    uint16_t authorId = elementId(doc, "author");
    if (!info || !authorId) return LVString16();
    LVString16 sep = delimiter.empty() ? LVString16(", ") : delimiter;
    LVString16 out;
    for (int i = 0; i < kMaxAuthors; ++i) {
        ldomNode* author = info->findChildElement(ldomNode::kAnyNamespace, authorId, i);
        if (!author) break;
        LVString16 middle = childText(doc, author, "middle-name");
        if (shortMiddleName && !middle.empty()) {
            middle = middle.substr(0, 1);
            middle.append(1, u'.');
        }
        LVString16 name;
        for (const LVString16& part :
             {childText(doc, author, "first-name"), middle, childText(doc, author, "last-name")}) {
            if (part.empty()) continue;
            if (!name.empty()) name.append(1, u' ');
            name.append(part);
        }
        if (name.empty()) continue;
        if (!out.empty()) out.append(sep);
        out.append(name);
    }
    return out;
}
