// Record-level decoding of Palm database books: the trailing entries that
// Mobipocket appends to its text records, PalmDOC LZ77 decompression and the
// whole-record zlib inflation of eReader books. Pure functions over byte
// ranges; they never read outside the input and never write past the output
// capacity they are given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pdb {

// PalmDOC expands one input byte into at most five output bytes (a two-byte
// back-reference copies up to ten).
constexpr size_t kPalmDocMaxExpansion = 5;
// Upper bound of one decoded PalmDOC record, whatever its input length:
// generators write records of 4096 decoded bytes, so this only limits
// hostile files.
constexpr size_t kMaxDecodedRecord = 1u << 20;
// eReader records inflate into a buffer of this size; a record whose text
// would fill it is not decoded.
constexpr size_t kZlibRecordBuffer = 262144;

// Length of the record data once the trailing entries named by the extra
// record data flags are removed from its end. The entries are removed last
// to first: bits 0x8000 down to 0x0002 each name an entry whose size (its own
// size bytes included) is a backward variable-width integer at the very end
// (7 bits per byte, at most 4 bytes, the byte with the top bit set ends it);
// bit 0x0001 names the multibyte overlap, whose last byte holds in its low
// two bits how many overlap bytes precede it. A size of 0 or one larger than
// what is left removes nothing.
size_t stripTrailingEntries(const uint8_t* data, size_t length, uint16_t flags);

// Decodes PalmDOC-compressed input into out (at most outCap bytes) and
// returns the number of bytes produced:
//   0x01-0x08    that many literal bytes follow (a run cut by the end of
//                the input ends decoding);
//   0x00, 0x09-0x7F the byte itself;
//   0x80-0xBF    with the next byte, a back-reference: distance = bits 13..3,
//                length = bits 2..0 + 3; a pair cut by the end of the input
//                ends decoding; a distance of 0 or one reaching before the
//                start of the output yields '?' for each byte;
//   0xC0-0xFF    a space followed by the byte & 0x7F.
// Decoding also stops when the output is full.
size_t palmDocDecode(const uint8_t* in, size_t inLen, uint8_t* out, size_t outCap);

// The output capacity a PalmDOC record of inLen bytes needs.
inline size_t palmDocCapacity(size_t inLen) {
    size_t cap = inLen * kPalmDocMaxExpansion;
    return cap < kMaxDecodedRecord ? cap : kMaxDecodedRecord;
}

// Inflates a whole zlib stream (with its header) into out[0..outCap). True
// only when the stream ends, every input byte is consumed and the output is
// shorter than outCap; *produced receives the output length (0 on failure).
bool zlibDecode(const uint8_t* in, size_t inLen, uint8_t* out, size_t outCap, size_t* produced);
// The same into a vector, with a buffer of kZlibRecordBuffer bytes; out is
// empty on failure.
bool zlibDecode(const uint8_t* in, size_t inLen, std::vector<uint8_t>& out);

}  // namespace pdb
