// The table of contents of a document: a tree of titled items, each naming
// a place in the book by a path (the string form of a position, or "#id").
// The document owns the root item (level 0, no title); the FictionBook
// writer adds items for titled sections, and the EPUB and CHM readers add
// the items of the book's own contents file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dom/position.h"
#include "foundation/lvstring.h"

class ldomDocument;

class ldomTocItem {
public:
    // The root item of doc.
    explicit ldomTocItem(ldomDocument* doc) : doc_(doc) {}
    ldomTocItem(const ldomTocItem&) = delete;
    ldomTocItem& operator=(const ldomTocItem&) = delete;

    // Appends a child whose place is known (the position is cached at once).
    ldomTocItem* addChild(const LVString16& name, const ldomPosition& position,
                          const LVString16& path);
    // Appends a child whose place is resolved from path on first use.
    ldomTocItem* addChild(const LVString16& name, const LVString16& path);
    // Drops every child.
    void clear() { children_.clear(); }

    ldomTocItem* getParent() const { return parent_; }
    ldomDocument* getDocument() const { return doc_; }
    // 0 for the root, 1 for its children, and so on.
    int getLevel() const { return level_; }
    // Index among the parent's children.
    int getIndex() const { return index_; }
    int getChildCount() const { return static_cast<int>(children_.size()); }
    ldomTocItem* getChild(int i) const {
        return i >= 0 && i < getChildCount() ? children_[static_cast<size_t>(i)].get() : nullptr;
    }
    const LVString16& getName() const { return name_; }
    const LVString16& getPath() const { return path_; }

    // The item's place: cached, or resolved from the path (a failed
    // resolution is tried again next time, since the tree may still grow).
    ldomPosition getPosition();

    // Set by page splitting: the page the item starts on, and the share of
    // the book before it in hundredths of a percent.
    int getPage() const { return page_; }
    void setPage(int page) { page_ = page; }
    int getPercent() const { return percent_; }
    void setPercent(int percent) { percent_ = percent; }

private:
    ldomTocItem(ldomTocItem* parent, const LVString16& name, const LVString16& path);

    ldomTocItem* parent_ = nullptr;
    ldomDocument* doc_ = nullptr;
    int level_ = 0;
    int index_ = 0;
    int page_ = 0;
    int percent_ = 0;
    LVString16 name_;
    LVString16 path_;
    ldomPosition position_;
    std::vector<std::unique_ptr<ldomTocItem>> children_;
};
