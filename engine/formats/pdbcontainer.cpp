#include "formats/pdbcontainer.h"

#include "streams/fragment.h"

StreamHandle LVPDBRegionContainerItem::openStream() {
    if (!source_) return nullptr;
    StreamHandle s(new LVStreamFragment(source_, start_, size_));
    s->SetName(name_);
    return s;
}

StreamHandle LVPDBContainer::OpenStream(const LVString16& name, int32_t mode) {
    if (mode != OpenModeRead) return nullptr;
    for (int32_t i = 0; i < GetObjectCount(); ++i) {
        auto* item = static_cast<LVPDBContainerItem*>(GetObjectInfo(i));
        if (item->GetName() == name) return item->openStream();
    }
    return nullptr;
}
