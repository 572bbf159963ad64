// The text form of property sets (foundation/props.h) on streams.
#pragma once

#include "foundation/props.h"
#include "streams/stream.h"

// Writes props' text form (full names) to stream, which must be open for
// writing (write, append or read-write mode). True only when every byte
// was written.
bool savePropsText(const QLPropAccessor& props, const StreamHandle& stream);
// Adds the pairs of the text form read from the stream's position to its
// end. The stream must be open for reading (read or read-write mode) and
// have bytes left; false otherwise and on a read error.
bool loadPropsText(QLPropAccessor& props, const StreamHandle& stream);
