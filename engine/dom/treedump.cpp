#include "dom/treedump.h"

#include <string>
#include <utility>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/range.h"

namespace {

void appendEscaped(std::string& out, const LVString16& s, bool attribute) {
    for (int32_t i = 0; i < s.length(); ++i) {
        lvchar16 c = s[i];
        switch (c) {
        case u'&': out += "&amp;"; continue;
        case u'<': out += "&lt;"; continue;
        case u'>': out += "&gt;"; continue;
        case u'"':
            if (attribute) {
                out += "&quot;";
                continue;
            }
            break;
        default: break;
        }
        if (c < 0x20 || c == 0x7F || c == 0xA0) {
            static const char kHex[] = "0123456789ABCDEF";
            out += "&#x";
            if (c >= 0x10) out += kHex[c >> 4];
            out += kHex[c & 0xF];
            out += ';';
            continue;
        }
        LVString8 u = encodeUtf8(&c, 1);
        out.append(u.c_str(), static_cast<size_t>(u.length()));
    }
}

void appendUtf8(std::string& out, const LVString16& s) {
    LVString8 u = encodeUtf8(s);
    out.append(u.c_str(), static_cast<size_t>(u.length()));
}

void appendName(std::string& out, const LVString16& ns, const LVString16& name) {
    if (!ns.empty()) {
        appendUtf8(out, ns);
        out += ':';
    }
    appendUtf8(out, name);
}

void appendStartTag(std::string& out, const ldomNode* e, bool empty) {
    const ldomDocument* doc = e->getDocument();
    out += '<';
    appendName(out, e->getNodeNsName(), e->getNodeName());
    for (int i = 0; i < e->getAttrCount(); ++i) {
        ldomAttribute a;
        if (!e->getAttribute(i, a)) continue;
        out += ' ';
        appendName(out, doc->getNsName(a.nsid), doc->getAttrName(a.id));
        out += "=\"";
        appendEscaped(out, doc->getAttrValue(a.valueIndex), true);
        out += '"';
    }
    out += empty ? "/>" : ">";
}

void appendEndTag(std::string& out, const ldomNode* e) {
    out += "</";
    appendName(out, e->getNodeNsName(), e->getNodeName());
    out += '>';
}

}  // namespace

LVString8 dumpTreeXml(const ldomNode* node, bool indent) {
    std::string out;
    if (!node || node->isNull()) return LVString8();
    auto newLine = [&](int level) {
        if (!indent) return;
        if (!out.empty()) out += '\n';
        out.append(static_cast<size_t>(2 * level), ' ');
    };
    // (element, next child) pairs; the root element only holds its children.
    std::vector<std::pair<const ldomNode*, int>> stack;
    int base = node->isRoot() ? -1 : 0;
    auto enter = [&](const ldomNode* n, int level) {
        if (n->isText()) {
            newLine(level);
            appendEscaped(out, n->getText(), false);
            return;
        }
        int count = n->getChildCount();
        if (!n->isRoot()) {
            newLine(level);
            const ldomNode* only = count == 1 ? n->getChildNode(0) : nullptr;
            if (count == 0 || (only && only->isText())) {
                appendStartTag(out, n, count == 0);
                if (only) {
                    appendEscaped(out, only->getText(), false);
                    appendEndTag(out, n);
                }
                return;
            }
            appendStartTag(out, n, false);
        }
        stack.emplace_back(n, 0);
    };
    enter(node, 0);
    while (!stack.empty()) {
        const ldomNode* n = stack.back().first;
        int i = stack.back().second++;
        int level = base + static_cast<int>(stack.size());
        if (i < n->getChildCount()) {
            if (const ldomNode* c = n->getChildNode(i)) enter(c, level);
            continue;
        }
        stack.pop_back();
        if (!n->isRoot()) {
            newLine(level - 1);
            appendEndTag(out, n);
        }
    }
    if (indent && !out.empty()) out += '\n';
    return LVString8(out.c_str(), static_cast<int32_t>(out.size()));
}

LVString16 dumpDocumentText(const ldomDocument* doc) {
    if (!doc || !doc->getRootNode()) return LVString16();
    return ldomXRange(doc->getRootNode()).getRangeText(u'\n');
}
