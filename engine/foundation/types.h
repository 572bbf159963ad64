// Basic integer and character types shared by every engine library.
#pragma once

#include <cstddef>
#include <cstdint>

// One 16-bit text unit. The engine treats one unit as one character; surrogate
// pairs are never combined. Deliberately not wchar_t, which is 32 bits here.
using lvchar16 = char16_t;
// One 8-bit text unit (UTF-8 unless a caller says otherwise).
using lvchar8 = char;

// Stream positions and offsets (signed) and sizes (unsigned) are 32-bit, as
// the stream interface defines them. Arithmetic on values read from a book is
// always done in 64 bits and checked before it is narrowed to these.
using lvpos_t = int32_t;
using lvsize_t = uint32_t;
