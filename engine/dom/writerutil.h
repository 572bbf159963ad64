// Small text helpers shared by the document writers.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/lvstring.h"

// Table-of-contents titles are cut to this many characters.
constexpr int32_t kMaxTocTitle = 1024;

// Only tabs, line feeds, carriage returns and spaces (true when empty).
bool isBlankText(const lvchar16* text, int32_t length);
// a equals the ASCII text b, ignoring case.
bool equalsIgnoreCase(const LVString16& a, const char* b);
// The zero-terminated name equals the ASCII text (a null name equals "").
bool nameIs(const lvchar16* name, const char* ascii);
LVString8 utf8Of(const lvchar16* s);

// Replaces out with the UTF-8 form of text[0..length): one to three bytes
// per unit, surrogates encoded one by one (as encodeUtf8 does).
inline void encodeUtf8Into(std::string& out, const lvchar16* text, int32_t length) {
    out.clear();
    for (int32_t i = 0; i < length; ++i) {
        uint32_t c = text[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}
