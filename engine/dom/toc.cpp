#include "dom/toc.h"

#include "dom/ldomdocument.h"
#include "foundation/log.h"

ldomTocItem::ldomTocItem(ldomTocItem* parent, const LVString16& name, const LVString16& path)
    : parent_(parent), doc_(parent->doc_), level_(parent->level_ + 1),
      index_(parent->getChildCount()), name_(name), path_(path) {}

ldomTocItem* ldomTocItem::addChild(const LVString16& name, const ldomPosition& position,
                                   const LVString16& path) {
    ldomTocItem* item = addChild(name, path);
    item->position_ = position;
    return item;
}

ldomTocItem* ldomTocItem::addChild(const LVString16& name, const LVString16& path) {
    children_.push_back(std::unique_ptr<ldomTocItem>(new ldomTocItem(this, name, path)));
    return children_.back().get();
}

ldomPosition ldomTocItem::getPosition() {
    if (position_.isNull() && !path_.empty() && doc_) {
        position_ = positionFromString(doc_, path_);
        if (position_.isNull())
            LOG_DEBUG("TOC node is not found for path %s", encodeUtf8(path_).c_str());
        else
            LOG_DEBUG("TOC node is found for path %s", encodeUtf8(path_).c_str());
    }
    return position_;
}
