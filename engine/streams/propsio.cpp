#include "streams/propsio.h"

#include <vector>

#include "foundation/log.h"
#include "streams/memstream.h"

bool savePropsText(const QLPropAccessor& props, const StreamHandle& stream) {
    if (!stream) return false;
    int32_t mode = stream->GetMode();
    if (mode != OpenModeWrite && mode != OpenModeAppend && mode != OpenModeReadWrite) return false;
    LVString8 text = props.toText();
    MemoryStreamHandle source =
        createMemoryStream(text.c_str(), static_cast<lvsize_t>(text.length()), false);
    if (!source) return false;
    lvsize_t written = copyStreamContents(stream, StreamHandle(source.get()));
    if (written != static_cast<lvsize_t>(text.length())) {
        LOG_ERROR("property text: %u of %d bytes written", written, text.length());
        return false;
    }
    return true;
}

bool loadPropsText(QLPropAccessor& props, const StreamHandle& stream) {
    if (!stream) return false;
    int32_t mode = stream->GetMode();
    if (mode != OpenModeRead && mode != OpenModeReadWrite) return false;
    lvpos_t pos = stream->GetPos();
    lvsize_t size = stream->GetSize();
    if (pos < 0 || size == kUnknownSize || static_cast<int64_t>(size) <= pos) return false;
    std::vector<char> buf(static_cast<size_t>(static_cast<int64_t>(size) - pos));
    size_t have = 0;
    while (have < buf.size()) {
        lvsize_t got = 0;
        if (stream->Read(buf.data() + have, static_cast<lvsize_t>(buf.size() - have), &got) !=
            ResultOk)
            return false;
        if (got == 0) break;
        have += got;
    }
    if (have != buf.size()) return false;
    props.fromText(buf.data(), buf.size());
    return true;
}
