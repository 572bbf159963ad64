// The 8-bit code page tables, their names and ids, Windows code page numbers,
// locale identifiers and the classification of encoding names.
#include <cstring>

#include "foundation/encodings.h"

namespace {

#include "foundation/codepages_tables.inc"

// Lower-cases ASCII letters of name into buf (NUL-terminated). False when the
// name is null or does not fit, which no known name does.
bool lowerName(const char* name, char* buf, size_t cap) {
    if (!name) return false;
    size_t i = 0;
    for (; name[i]; ++i) {
        if (i + 1 >= cap) return false;
        char c = name[i];
        buf[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    buf[i] = 0;
    return true;
}

constexpr size_t kNameBuf = 32;

struct TableInfo {
    int id;
    const char* name;  // canonical name
    const lvchar16* table;
};

const TableInfo kTables[] = {
    {CodePageIdCp1250, "cp1250", kCp1250},       {CodePageIdCp1251, "cp1251", kCp1251},
    {CodePageIdCp1252, "cp1252", kCp1252},       {CodePageIdCp1253, "cp1253", kCp1253},
    {CodePageIdCp1257, "cp1257", kCp1257},       {CodePageIdCp775, "cp775", kCp775},
    {CodePageIdCp737, "cp737", kCp737},          {CodePageIdCp866, "cp866", kCp866},
    {CodePageIdCp850, "cp850", kCp850},          {CodePageIdKoi8r, "koi8r", kKoi8r},
    {CodePageIdIso8859_2, "iso8859-2", kIso8859_2}, {CodePageIdCp1254, "cp1254", kCp1254},
    {CodePageIdCp852, "cp852", kCp852},          {CodePageIdIso8859_16, "iso8859-16", kIso8859_16},
    {CodePageIdIso8859_5, "iso8859-5", kIso8859_5},
};

struct NameInfo {
    const char* name;
    int id;
};

// Every accepted name, lower case.
const NameInfo kNames[] = {
    {"windows-1250", CodePageIdCp1250},  {"windows-1251", CodePageIdCp1251},
    {"windows-1252", CodePageIdCp1252},  {"windows-1253", CodePageIdCp1253},
    {"windows-1254", CodePageIdCp1254},  {"windows-1257", CodePageIdCp1257},
    {"cp775", CodePageIdCp775},          {"cp737", CodePageIdCp737},
    {"cp1250", CodePageIdCp1250},        {"cp1251", CodePageIdCp1251},
    {"cp1254", CodePageIdCp1254},        {"iso-8859-5", CodePageIdIso8859_5},
    {"iso_8859-5", CodePageIdIso8859_5}, {"iso8859-5", CodePageIdIso8859_5},
    {"cp1252", CodePageIdCp1252},        {"iso-8859-1", CodePageIdCp1252},
    {"iso_8859-1", CodePageIdCp1252},    {"iso8859-1", CodePageIdCp1252},
    {"latin-1", CodePageIdCp1252},       {"cp1253", CodePageIdCp1253},
    {"cp1257", CodePageIdCp1257},        {"cp866", CodePageIdCp866},
    {"cp850", CodePageIdCp850},          {"cp852", CodePageIdCp852},
    {"windows-866", CodePageIdCp866},    {"windows-850", CodePageIdCp850},
    {"windows-852", CodePageIdCp852},    {"koi-8r", CodePageIdKoi8r},
    {"koi8r", CodePageIdKoi8r},          {"koi8-r", CodePageIdKoi8r},
    {"iso8859-2", CodePageIdIso8859_2},  {"iso-8859-2", CodePageIdIso8859_2},
    {"iso8859_2", CodePageIdIso8859_2},  {"latin-2", CodePageIdIso8859_2},
    {"latin-5", CodePageIdCp1254},       {"iso8859-16", CodePageIdIso8859_16},
    {"iso-8859-16", CodePageIdIso8859_16}, {"iso8859_16", CodePageIdIso8859_16},
};

const TableInfo* tableInfo(int id) {
    for (const TableInfo& t : kTables)
        if (t.id == id) return &t;
    return nullptr;
}

struct NumberInfo {
    int number;
    int id;  // 0: multi-byte, no table
    const char* name;
};

const NumberInfo kNumbers[] = {
    {204, CodePageIdCp1251, "cp1251"},      {1251, CodePageIdCp1251, "cp1251"},
    {737, CodePageIdCp737, "cp737"},        {775, CodePageIdCp775, "cp775"},
    {850, CodePageIdCp850, "cp850"},        {852, CodePageIdCp852, "cp852"},
    {866, CodePageIdCp866, "cp866"},        {1250, CodePageIdCp1250, "cp1250"},
    {1253, CodePageIdCp1253, "cp1253"},     {1254, CodePageIdCp1254, "cp1254"},
    {1257, CodePageIdCp1257, "cp1257"},     {20866, CodePageIdKoi8r, "koi8r"},
    {28592, CodePageIdIso8859_2, "iso8859-2"}, {28595, CodePageIdIso8859_5, "iso8859-5"},
    {932, 0, "cp932"},                      {936, 0, "cp936"},
    {949, 0, "cp949"},                      {950, 0, "cp950"},
};

const NumberInfo* numberInfo(int number) {
    for (const NumberInfo& n : kNumbers)
        if (n.number == number) return &n;
    return nullptr;
}

// Inclusive LCID ranges of one code page.
struct LcidRange {
    uint16_t first, last;
};

const LcidRange kLcid1252[] = {
    {0x0009, 0x0009}, {0x0403, 0x0403}, {0x0406, 0x0407}, {0x0409, 0x040C}, {0x040E, 0x0410},
    {0x0413, 0x0414}, {0x0416, 0x0418}, {0x041B, 0x041E}, {0x0420, 0x0421}, {0x0424, 0x0424},
    {0x0428, 0x042E}, {0x0430, 0x043E}, {0x0440, 0x0441}, {0x0443, 0x0443}, {0x0445, 0x0459},
    {0x0460, 0x0462}, {0x0807, 0x0807}, {0x0809, 0x080A}, {0x080C, 0x080C}, {0x0810, 0x0810},
    {0x0813, 0x0814}, {0x0816, 0x0816}, {0x0818, 0x0818}, {0x081A, 0x081A}, {0x081D, 0x081D},
    {0x0820, 0x0820}, {0x083C, 0x083C}, {0x083E, 0x083E}, {0x0860, 0x0861}, {0x0C07, 0x0C07},
    {0x0C09, 0x0C0A}, {0x0C0C, 0x0C0C}, {0x1007, 0x1007}, {0x1009, 0x100A}, {0x100C, 0x100C},
    {0x101A, 0x101A}, {0x1407, 0x1407}, {0x1409, 0x140A}, {0x140C, 0x140C}, {0x1809, 0x180A},
    {0x180C, 0x180C}, {0x1C09, 0x1C0A}, {0x1C0C, 0x1C0C}, {0x2009, 0x200A}, {0x200C, 0x200C},
    {0x2409, 0x240A}, {0x240C, 0x240C}, {0x2809, 0x280A}, {0x280C, 0x280C}, {0x2C09, 0x2C0A},
    {0x2C0C, 0x2C0C}, {0x300A, 0x300A}, {0x300C, 0x300C}, {0x3409, 0x340A}, {0x340C, 0x340C},
    {0x380A, 0x380A}, {0x3C0A, 0x3C0A}, {0x400A, 0x400A}, {0x440A, 0x440A}, {0x480A, 0x480A},
    {0x4C0A, 0x4C0A}, {0x500A, 0x500A},
};

bool inRanges(uint32_t lcid, const LcidRange* ranges, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (lcid >= ranges[i].first && lcid <= ranges[i].last) return true;
    return false;
}

// ISO 639 codes of the primary languages 0x01-0x62 (index = primary id).
// Null where the engine reports no language.
const char* const kPrimaryLanguage[0x63] = {
    nullptr, "ar",  "bg", "ca", "zh", "cs", "da",  "de",  "el",    "en",  "es",  "fi",
    "fr",    "he",  "hu", "is", "it", "ja", "ko",  "nl",  "no",    "pl",  "pt",  "rm",
    "ro",    "ru",  "hr", "sk", "sq", "sv", "th",  "tr",  "ur",    "id",  "uk",  "be",
    "sl",    "et",  "lv", "lt", "tg", "fa", "vi",  "hy",  "az",    "eu",  "hsb", nullptr,
    "st",    "ts",  "tn", "ve", "xh", "zu", "af",  "ka",  "fo",    "hi",  "mt",  "se",
    "gd",    "yi",  "ms", "kk", "ky", "sw", "tk",  "uz",  "tt",    "bn",  "pa",  "gu",
    "or",    "ta",  "te", "kn", "ml", "as", "mr",  "sa",  "mn",    "bo",  "cy",  "km",
    "lo",    "my",  "gl", "kok", "mni", "sd", nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, "ks",  "ne", "fy",
};

// Primary languages whose sub-language variants (0x08xx and up) report the
// base language.
const uint8_t kVariantLanguages[] = {0x01, 0x04, 0x07, 0x09, 0x0A, 0x0C, 0x10, 0x12,
                                     0x13, 0x14, 0x16, 0x18, 0x19, 0x1A, 0x1D, 0x20,
                                     0x27, 0x2C, 0x3C, 0x3E, 0x43, 0x60, 0x61};

}  // namespace

int codePageIdByName(const char* name) {
    char buf[kNameBuf];
    if (!lowerName(name, buf, sizeof buf)) return 0;
    for (const NameInfo& n : kNames)
        if (std::strcmp(n.name, buf) == 0) return n.id;
    return 0;
}

const lvchar16* codePageTableByName(const char* name) {
    return codePageTableById(codePageIdByName(name));
}

const lvchar16* codePageTableById(int id) {
    const TableInfo* t = tableInfo(id);
    return t ? t->table : nullptr;
}

const char* codePageNameById(int id) {
    const TableInfo* t = tableInfo(id);
    return t ? t->name : nullptr;
}

const lvchar16* codePageTableByNumber(int number) {
    const NumberInfo* n = numberInfo(number);
    if (!n) return kCp1252;
    return n->id ? codePageTableById(n->id) : nullptr;
}

const char* codePageNameByNumber(int number) {
    const NumberInfo* n = numberInfo(number);
    return n ? n->name : "cp1252";
}

int codePageForLcid(uint32_t lcid) {
    // Arabic: the neutral LCID 1 and the sixteen regional ones 0x0401-0x4001.
    if (lcid == 1 || (lcid <= 0xFFFF && (lcid & 0x3FF) == 0x01 && (lcid >> 10) >= 1 &&
                      (lcid >> 10) <= 16))
        return 1256;
    switch (lcid) {
    case 4:
    case 0x0404:
    case 0x0C04:
    case 0x1404:
        return 950;
    case 0x0804:
    case 0x1004:
        return 936;
    case 0x0411:
        return 932;
    case 0x0412:
        return 949;
    case 0x0405:
    case 0x0415:
    case 0x041A:
        return 1250;
    case 0x0408:
        return 1253;
    case 0x041F:
        return 1254;
    case 0x040D:
        return 1255;
    case 0x0425:
    case 0x0426:
    case 0x0427:
    case 0x0827:
        return 1257;
    default:
        break;
    }
    if (inRanges(lcid, kLcid1252, sizeof kLcid1252 / sizeof kLcid1252[0])) return 1252;
    return 1251;
}

const char* languageForLcid(uint32_t lcid) {
    if (lcid == 1) return "ar";
    if (lcid == 4) return "zh";
    if (lcid == 9) return "en";
    if (lcid > 0xFFFF) return nullptr;
    uint32_t primary = lcid & 0x3FF;
    uint32_t sub = lcid >> 10;
    if (primary == 0 || primary > 0x62) return nullptr;
    if (sub == 1) return kPrimaryLanguage[primary];
    if (sub < 2) return nullptr;
    for (uint8_t v : kVariantLanguages)
        if (v == primary) return kPrimaryLanguage[primary];
    return nullptr;
}

EncodingKind encodingKindByName(const char* name) {
    char buf[kNameBuf];
    if (!lowerName(name, buf, sizeof buf)) return EncodingUnknown;
    struct KindName {
        const char* name;
        EncodingKind kind;
    };
    static const KindName kKinds[] = {
        {"utf-8", EncodingUtf8},
        {"utf8", EncodingUtf8},
        {"utf-16be", EncodingUtf16Be},
        {"utf-16", EncodingUtf16Le},
        {"utf-16le", EncodingUtf16Le},
        {"utf-32be", EncodingUtf32Be},
        {"utf-32", EncodingUtf32Le},
        {"utf-32le", EncodingUtf32Le},
        {"gbk", EncodingGbk},
        {"cp936", EncodingGbk},
        {"cp-936", EncodingGbk},
        {"gb2312", EncodingGbk},
        {"euc-jisx0213", EncodingEucJp},
        {"euc-jis-2004", EncodingEucJp},
        {"euc-jis", EncodingEucJp},
        {"euc-jp", EncodingEucJp},
        {"eucjp", EncodingEucJp},
        {"shift-jis", EncodingShiftJis},
        {"shift_jis", EncodingShiftJis},
        {"sjis", EncodingShiftJis},
        {"ms_kanji", EncodingShiftJis},
        {"csshiftjis", EncodingShiftJis},
        {"shift_jisx0213", EncodingShiftJis},
        {"shift_jis-2004", EncodingShiftJis},
        {"cp932", EncodingShiftJis},
        {"big5", EncodingBig5},
        {"big5-2003", EncodingBig5},
        {"big-5", EncodingBig5},
        {"big-five", EncodingBig5},
        {"bigfive", EncodingBig5},
        {"cn-big5", EncodingBig5},
        {"csbig5", EncodingBig5},
        {"cp950", EncodingBig5},
        {"euc_kr", EncodingEucKr},
        {"euc-kr", EncodingEucKr},
        {"euckr", EncodingEucKr},
        {"cseuckr", EncodingEucKr},
        {"cp51949", EncodingEucKr},
        {"cp949", EncodingEucKr},
    };
    for (const KindName& k : kKinds)
        if (std::strcmp(k.name, buf) == 0) return k.kind;
    if (codePageIdByName(buf)) return EncodingSingleByte;
    return EncodingUnknown;
}
