#include "streams/container.h"

LVResult LVContainer::GetSize(lvsize_t* count) {
    if (GetName().empty()) {
        if (count) *count = 0;
        return ResultFail;
    }
    if (count) *count = static_cast<lvsize_t>(GetObjectCount());
    return ResultOk;
}

const LVContainerItemInfo* LVContainer::FindObjectInfo(const LVString16& name) {
    int32_t n = GetObjectCount();
    for (int32_t i = 0; i < n; ++i) {
        const LVContainerItemInfo* item = GetObjectInfo(i);
        if (item && item->GetName() == name) return item;
    }
    return nullptr;
}

void LVNamedContainer::SetName(const LVString16& name) {
    name_ = name;
    int32_t cut = -1;
    for (int32_t i = name.length() - 1; i >= 0; --i) {
        if (name[i] == u'/' || name[i] == u'\\') {
            cut = i;
            break;
        }
    }
    folder_ = name.substr(0, cut + 1);
    fileName_ = name.substr(cut + 1);
    if (cut >= 0) delimiter_ = name[cut];
}

LVContainerItemInfo* LVNamedContainer::GetObjectInfo(int32_t index) {
    if (index < 0 || index >= GetObjectCount()) return nullptr;
    return items_[static_cast<size_t>(index)].get();
}

const LVContainerItemInfo* LVNamedContainer::GetObjectInfo(int32_t index) const {
    if (index < 0 || index >= GetObjectCount()) return nullptr;
    return items_[static_cast<size_t>(index)].get();
}

void LVNamedContainer::insertItem(int32_t index, LVContainerItemInfo* item) {
    if (index < 0 || index > GetObjectCount()) index = GetObjectCount();
    items_.insert(items_.begin() + index, Ref<LVContainerItemInfo>(item));
}
