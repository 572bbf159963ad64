// Helpers shared by the document-tree tests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dom/ldomdocument.h"

// An in-memory block store standing in for a cache file.
class MemoryCacheFile : public DocCacheFile {
public:
    using Blocks = std::map<std::pair<uint16_t, uint16_t>, std::vector<uint8_t>>;

    explicit MemoryCacheFile(std::shared_ptr<Blocks> blocks = std::make_shared<Blocks>())
        : blocks_(std::move(blocks)) {}

    bool writeBlock(uint16_t type, uint16_t index, const uint8_t* data, size_t size,
                    bool) override {
        if (failWrites) return false;
        (*blocks_)[{type, index}].assign(data, data + size);
        ++writes;
        return true;
    }
    bool readBlock(uint16_t type, uint16_t index, std::vector<uint8_t>& out) override {
        auto it = blocks_->find({type, index});
        if (failReads || it == blocks_->end()) return false;
        out = it->second;
        ++reads;
        return true;
    }

    bool failWrites = false;
    bool failReads = false;
    int writes = 0;
    int reads = 0;

private:
    std::shared_ptr<Blocks> blocks_;
};

inline std::string utf8(const LVString16& s) {
    LVString8 e = encodeUtf8(s);
    return std::string(e.c_str(), static_cast<size_t>(e.length()));
}

// Appends an element named name (created in the document's table when new).
inline ldomNode* addElement(ldomNode* parent, const char* name) {
    return parent->insertChildElement(-1, 0, parent->getDocument()->getElementNameIndex(name));
}

inline void setAttr(ldomNode* element, const char* name, const char* value, uint16_t nsid = 0) {
    element->setAttributeValue(nsid, element->getDocument()->getAttrNameIndex(name),
                               LVString16(value));
}

inline std::string attr(const ldomNode* element, const char* name) {
    return utf8(element->getAttributeValue(nullptr, name));
}

// Names of the children of an element ("#text" for text nodes).
inline std::vector<std::string> childNames(const ldomNode* element) {
    std::vector<std::string> out;
    for (int i = 0; i < element->getChildCount(); ++i) {
        ldomNode* c = element->getChildNode(i);
        out.push_back(!c ? "<null>" : c->isText() ? "#text" : utf8(c->getNodeName()));
    }
    return out;
}
