#include "streams/ziparc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "stream_test_support.h"
#include "streams/container.h"
#include "streams/memstream.h"

namespace {

// ---- Building archives in memory -------------------------------------------

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
void put64(std::string& s, uint64_t v) {
    put32(s, static_cast<uint32_t>(v));
    put32(s, static_cast<uint32_t>(v >> 32));
}
void set32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t crcOf(const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

std::string deflateRaw(const std::string& data) {
    z_stream zs{};
    if (deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// Compressible text of n bytes.
std::string sampleText(size_t n) {
    static const char* words[] = {"alpha ", "beta ", "gamma\n", "delta ", "epsilon ", "zeta. "};
    std::string s;
    for (unsigned i = 0; s.size() < n; ++i) s += words[(i * 7 + i / 5) % 6];
    s.resize(n);
    return s;
}

struct ZipEntry {
    std::string name = {};  // the stored name bytes
    std::string data = {};
    uint16_t method = 8;
    uint16_t flags = 0;
    uint8_t host = 3;
    uint32_t attributes = 0;
    bool descriptor = false;  // sizes and CRC in a data descriptor after the data
    bool descriptorSignature = true;
    bool zip64 = false;  // sizes and offset in zip64 extra fields
    std::string extra = {};  // further extra field blocks (both headers)
    std::optional<std::string> packed = {};  // packed bytes instead of those made from data
    // Values for the central entry instead of the true ones.
    std::optional<uint32_t> centralPacked = {}, centralUnpacked = {}, centralCrc = {};
};

struct BuiltZip {
    std::string bytes;
    std::vector<size_t> localOffsets;
    size_t centralOffset = 0;
    size_t endOffset = 0;  // of the end-of-central-directory record
};

struct ZipOptions {
    std::string comment = {};
    bool zip64End = false;    // write a zip64 end record and locator
    bool cdOffsetFFFF = false;  // and leave the real offset to them
};

std::string extraBlock(uint16_t id, const std::string& data) {
    std::string s;
    put16(s, id);
    put16(s, static_cast<uint32_t>(data.size()));
    return s + data;
}

BuiltZip buildZip(const std::vector<ZipEntry>& entries, const ZipOptions& options = {}) {
    BuiltZip zip;
    std::string& out = zip.bytes;
    std::vector<std::string> packedData;
    for (const ZipEntry& e : entries) {
        std::string packed = e.packed ? *e.packed : e.method == 8 ? deflateRaw(e.data) : e.data;
        packedData.push_back(packed);
        uint16_t flags = e.flags | (e.descriptor ? 0x0008 : 0);
        zip.localOffsets.push_back(out.size());
        std::string extra = e.extra;
        if (e.zip64) {
            std::string z;
            put64(z, e.descriptor ? 0 : e.data.size());
            put64(z, e.descriptor ? 0 : packed.size());
            extra = extraBlock(0x0001, z) + extra;
        }
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, flags);
        put16(out, e.method);
        put32(out, 0);  // time and date
        put32(out, e.descriptor ? 0 : crcOf(e.data));
        uint32_t local64 = e.zip64 ? 0xFFFFFFFFu : 0;
        put32(out, e.descriptor && !e.zip64 ? 0 : e.zip64 ? local64 : packed.size());
        put32(out, e.descriptor && !e.zip64 ? 0 : e.zip64 ? local64 : e.data.size());
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, static_cast<uint32_t>(extra.size()));
        out += e.name + extra + packed;
        if (e.descriptor) {
            if (e.descriptorSignature) put32(out, 0x08074b50);
            put32(out, crcOf(e.data));
            if (e.zip64) {
                put64(out, packed.size());
                put64(out, e.data.size());
            } else {
                put32(out, packed.size());
                put32(out, e.data.size());
            }
        }
    }
    zip.centralOffset = out.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& e = entries[i];
        const std::string& packed = packedData[i];
        std::string extra = e.extra;
        if (e.zip64) {
            std::string z;
            put64(z, e.data.size());
            put64(z, packed.size());
            put64(z, zip.localOffsets[i]);
            extra = extraBlock(0x0001, z) + extra;
        }
        put32(out, 0x02014b50);
        out += static_cast<char>(20);
        out += static_cast<char>(e.host);
        put16(out, 20);
        put16(out, e.flags | (e.descriptor ? 0x0008 : 0));
        put16(out, e.method);
        put32(out, 0);
        put32(out, e.centralCrc.value_or(crcOf(e.data)));
        put32(out, e.zip64 ? 0xFFFFFFFFu : e.centralPacked.value_or(packed.size()));
        put32(out, e.zip64 ? 0xFFFFFFFFu : e.centralUnpacked.value_or(e.data.size()));
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, static_cast<uint32_t>(extra.size()));
        put16(out, 0);  // comment
        put16(out, 0);  // disk
        put16(out, 0);  // internal attributes
        put32(out, e.attributes);
        put32(out, e.zip64 ? 0xFFFFFFFFu : zip.localOffsets[i]);
        out += e.name + extra;
    }
    size_t centralSize = out.size() - zip.centralOffset;
    if (options.zip64End) {
        size_t end64 = out.size();
        put32(out, 0x06064b50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, entries.size());
        put64(out, entries.size());
        put64(out, centralSize);
        put64(out, zip.centralOffset);
        put32(out, 0x07064b50);
        put32(out, 0);
        put64(out, end64);
        put32(out, 1);
    }
    zip.endOffset = out.size();
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, static_cast<uint32_t>(entries.size()));
    put16(out, static_cast<uint32_t>(entries.size()));
    put32(out, static_cast<uint32_t>(centralSize));
    put32(out, options.cdOffsetFFFF ? 0xFFFFFFFFu : static_cast<uint32_t>(zip.centralOffset));
    put16(out, static_cast<uint32_t>(options.comment.size()));
    out += options.comment;
    return zip;
}

// ---- Reading ------------------------------------------------------------------

ContainerHandle openBytes(const std::string& bytes) {
    return openArchive(createMemoryStream(bytes.data(), static_cast<lvsize_t>(bytes.size()), true));
}

std::vector<std::string> names(const ContainerHandle& arc) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < arc->GetObjectCount(); ++i)
        out.push_back(encodeUtf8(arc->GetObjectInfo(i)->GetName()).c_str());
    return out;
}

// The whole entry, or "<no stream>" / "<read failed>".
std::string entryContent(const ContainerHandle& arc, const LVString16& name) {
    StreamHandle s = arc->OpenStream(name, OpenModeRead);
    if (!s) return "<no stream>";
    std::string out;
    char chunk[777];
    for (;;) {
        lvsize_t got = 0;
        if (s->Read(chunk, sizeof chunk, &got) != ResultOk) return "<read failed>";
        if (got == 0) break;
        out.append(chunk, got);
    }
    return out;
}

bool isRecovered(const ContainerHandle& arc) {
    return static_cast<LVZipArc*>(arc.get())->recovered();
}

// Collects logged messages.
class CapturingLogger : public EngineLogger {
public:
    CapturingLogger() : EngineLogger(LogLevelTrace) { setEngineLogger(this); }
    ~CapturingLogger() override { setEngineLogger(nullptr); }
    void log(const char* label, const char* format, va_list args) override {
        char buf[512];
        vsnprintf(buf, sizeof buf, format, args);
        lines.push_back(std::string(label) + " " + buf);
    }
    bool contains(const std::string& text) const {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> lines;
};

// ---- Listing and opening -----------------------------------------------------

TEST(ZipArcTest, ListsAndOpensDeflatedAndStoredEntries) {
    const std::string text = sampleText(30000);
    const std::string binary = patternBytes(1000);
    ZipEntry folder{.name = "b/", .data = "", .method = 0, .attributes = 0x41ED0010};
    ZipEntry deflated{.name = "a.txt", .data = text, .attributes = 0x81A40020};
    ZipEntry stored{.name = "b/c.bin", .data = binary, .method = 0, .attributes = 0x81A40001};
    ZipEntry empty{.name = "b/empty", .data = ""};
    BuiltZip zip = buildZip({deflated, folder, stored, empty}, {.comment = "an archive comment"});
    MemoryStreamHandle source = createMemoryStream(zip.bytes.data(), zip.bytes.size(), true);
    source->SetName(u"/books/x.zip");
    ContainerHandle arc = openArchive(source);
    ASSERT_TRUE(arc);
    EXPECT_FALSE(isRecovered(arc));
    EXPECT_TRUE(arc->IsContainer());
    EXPECT_EQ(arc->GetName(), LVString16(u"/books/x.zip"));
    lvsize_t count = 0;
    EXPECT_EQ(arc->GetSize(&count), ResultOk);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(names(arc), (std::vector<std::string>{"a.txt", "b/", "b/c.bin", "b/empty"}));

    const uint32_t flags[] = {0x20, 0x10, 0x01, 0x00};
    const lvsize_t sizes[] = {30000, 0, 1000, 0};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(arc->GetObjectInfo(i)->GetFlags(), flags[i]);
        EXPECT_EQ(arc->GetObjectInfo(i)->GetSize(), sizes[i]);
        EXPECT_FALSE(arc->GetObjectInfo(i)->IsContainer());
    }
    EXPECT_EQ(arc->GetObjectInfo(4), nullptr);
    EXPECT_EQ(arc->GetObjectInfo(-1), nullptr);

    EXPECT_EQ(entryContent(arc, "a.txt"), text);
    EXPECT_EQ(entryContent(arc, "b/c.bin"), binary);
    EXPECT_EQ(entryContent(arc, "b/"), "");
    EXPECT_EQ(entryContent(arc, "b/empty"), "");

    for (const char* name : {"a.txt", "b/c.bin"}) {
        SCOPED_TRACE(name);
        StreamHandle s = arc->OpenStream(LVString16(name), OpenModeRead);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->GetName(), LVString16(name));
        EXPECT_EQ(s->GetMode(), OpenModeRead);
        uint32_t crc = 0;
        EXPECT_EQ(s->GetCrc32(&crc), ResultOk);
        EXPECT_EQ(crc, crcOf(name[0] == 'a' ? text : binary));
        EXPECT_EQ(s->GetPos(), 0);  // the checksum came without reading
        EXPECT_FALSE(arc->OpenStream(LVString16(name), OpenModeWrite));
    }
}

TEST(ZipArcTest, FindsEntriesByExactName) {
    ContainerHandle arc = openBytes(buildZip({{.name = "OEBPS/content.opf", .data = "opf"}}).bytes);
    ASSERT_TRUE(arc);
    struct Case {
        const char* name;
        bool opens;
    };
    const Case cases[] = {
        {"OEBPS/content.opf", true}, {"/OEBPS/content.opf", true}, {"oebps/content.opf", false},
        {"//OEBPS/content.opf", false}, {"OEBPS", false}, {"content.opf", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(static_cast<bool>(arc->OpenStream(LVString16(c.name), OpenModeRead)), c.opens);
    }
    EXPECT_TRUE(arc->FindObjectInfo(LVString16("OEBPS/content.opf")));
    EXPECT_FALSE(arc->FindObjectInfo(LVString16("oebps/content.opf")));

    // Of two entries with one name, the first is the one found.
    arc = openBytes(buildZip({{.name = "x", .data = "1"},
                              {.name = "dup", .data = "first"},
                              {.name = "dup", .data = "second"}})
                        .bytes);
    ASSERT_TRUE(arc);
    EXPECT_EQ(arc->GetObjectCount(), 3);
    EXPECT_EQ(arc->FindObjectInfo(u"dup"), arc->GetObjectInfo(1));
    EXPECT_EQ(entryContent(arc, u"dup"), "first");
}

TEST(ZipArcTest, DecodesNamesByFlagHostAndUnicodeField) {
    const std::string raw80 = "\x80.txt";
    const std::string utf8A = "\xD0\x90.txt";  // U+0410 in UTF-8
    std::string unicodeField = "\x01";
    put32(unicodeField, crcOf(raw80));
    std::string staleField = "\x01";
    put32(staleField, crcOf("other"));
    struct Case {
        const char* what;
        std::string raw;
        uint16_t flags;
        uint8_t host;
        std::string extra;
        std::u16string expected;
    };
    const Case cases[] = {
        {"cp866 on MS-DOS", raw80, 0, 0, "", u"\u0410.txt"},
        {"cp1251 on NTFS", raw80, 0, 11, "", u"\u0402.txt"},
        {"cp1251 on Unix when not UTF-8", raw80, 0, 3, "", u"\u0402.txt"},
        {"UTF-8 flag", utf8A, 0x0800, 0, "", u"\u0410.txt"},
        {"UTF-8 flag, outside 16 bits", "\xF0\x9F\x98\x80", 0x0800, 0, "", u"\U0001F600"},
        {"valid UTF-8 made on Unix", utf8A, 0, 3, "", u"\u0410.txt"},
        {"the same bytes made on MS-DOS", utf8A, 0, 0, "", u"\u2568\u0420.txt"},
        {"Unicode path field", raw80, 0, 0, extraBlock(0x7075, unicodeField + "\xD0\x96.txt"),
         u"\u0416.txt"},
        {"stale Unicode path field", raw80, 0, 0,
         extraBlock(0x7075, staleField + "\xD0\x96.txt"), u"\u0410.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ContainerHandle arc = openBytes(
            buildZip({{.name = c.raw, .data = "x", .flags = c.flags, .host = c.host,
                       .extra = c.extra}})
                .bytes);
        ASSERT_TRUE(arc);
        EXPECT_EQ(arc->GetObjectInfo(0)->GetName(), LVString16(c.expected.c_str()));
        EXPECT_EQ(entryContent(arc, LVString16(c.expected.c_str())), "x");
    }
}

TEST(ZipArcTest, DataDescriptorEntriesUseTheCentralSizesAndCrc) {
    const std::string text = sampleText(5000);
    for (uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        BuiltZip zip = buildZip({{.name = "streamed", .data = text, .method = method,
                                  .descriptor = true},
                                 {.name = "next", .data = "tail"}});
        ContainerHandle arc = openBytes(zip.bytes);
        ASSERT_TRUE(arc);
        EXPECT_EQ(arc->GetObjectInfo(0)->GetSize(), 5000u);
        EXPECT_EQ(entryContent(arc, "streamed"), text);
        EXPECT_EQ(entryContent(arc, "next"), "tail");
        StreamHandle s = arc->OpenStream(u"streamed", OpenModeRead);
        uint32_t crc = 0;
        ASSERT_EQ(s->GetCrc32(&crc), ResultOk);
        EXPECT_EQ(crc, crcOf(text));  // not the 0 of the local header
    }
}

TEST(ZipArcTest, ReadsZip64SizesOffsetsAndEndRecord) {
    const std::string text = sampleText(70000);
    BuiltZip zip = buildZip({{.name = "one", .data = text, .zip64 = true},
                             {.name = "two", .data = "stored", .method = 0, .zip64 = true}},
                            {.zip64End = true, .cdOffsetFFFF = true});
    ContainerHandle arc = openBytes(zip.bytes);
    ASSERT_TRUE(arc);
    EXPECT_FALSE(isRecovered(arc));
    EXPECT_EQ(names(arc), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(arc->GetObjectInfo(0)->GetSize(), 70000u);
    EXPECT_EQ(entryContent(arc, "one"), text);
    EXPECT_EQ(entryContent(arc, "two"), "stored");
}

// ---- Inflated entries: reads and seeks --------------------------------------------

class ZipDecodeTest : public ::testing::Test {
protected:
    const std::string text = sampleText(200000);
    ContainerHandle arc = openBytes(buildZip({{.name = "big.txt", .data = text}}).bytes);
    StreamHandle open() { return arc->OpenStream(u"big.txt", OpenModeRead); }
};

TEST_F(ZipDecodeTest, ReadsInPiecesOfAnySize) {
    for (lvsize_t piece : {1u, 7u, 4096u, 16383u, 16384u, 50000u, 300000u}) {
        SCOPED_TRACE(piece);
        StreamHandle s = open();
        ASSERT_TRUE(s);
        EXPECT_EQ(s->GetSize(), 200000u);
        std::string all, buf(piece, '\0');
        for (;;) {
            lvsize_t got = 0;
            ASSERT_EQ(s->Read(buf.data(), piece, &got), ResultOk);
            if (got == 0) break;
            all.append(buf, 0, got);
            if (piece == 1 && all.size() == 20000) break;  // enough byte by byte
        }
        EXPECT_EQ(all, text.substr(0, all.size()));
        if (piece != 1) {
            EXPECT_EQ(all.size(), text.size());
            EXPECT_TRUE(s->Eof());
        }
    }
}

TEST_F(ZipDecodeTest, SeeksForwardBackwardAndFromEitherEnd) {
    StreamHandle s = open();
    ASSERT_TRUE(s);
    EXPECT_EQ(readRest(*s), text);
    EXPECT_EQ(s->SetPos(0), 0);
    EXPECT_EQ(readRest(*s), text);  // restarted from the beginning

    struct Step {
        lvpos_t offset;
        int32_t origin;
        lvpos_t expected;  // -1: the seek fails and the position stays
    };
    const Step steps[] = {
        {150000, SeekFromStart, 150000}, {-1000, SeekFromCurrent, 149000},
        {5, SeekFromStart, 5},           {-10, SeekFromEnd, 199990},
        {199999, SeekFromStart, 199999}, {200000, SeekFromStart, 200000},
        {200001, SeekFromStart, -1},     {-1, SeekFromStart, -1},
        {1, SeekFromEnd, -1},            {100, 7, -1},
        {123456, SeekFromStart, 123456},
    };
    lvpos_t pos = s->GetPos();
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.offset << " from " << step.origin);
        lvpos_t now = -1;
        LVResult result = s->Seek(step.offset, step.origin, &now);
        if (step.expected < 0) {
            EXPECT_EQ(result, ResultFail);
            EXPECT_EQ(s->GetPos(), pos);
            continue;
        }
        ASSERT_EQ(result, ResultOk);
        EXPECT_EQ(now, step.expected);
        pos = step.expected;
        // Read 100 bytes and come back, so that every seek starts from a
        // position inside a decoded block.
        std::string got = readAt(*s, pos, 100);
        EXPECT_EQ(got, text.substr(pos, 100));
        EXPECT_EQ(s->GetPos(), static_cast<lvpos_t>(pos + got.size()));
        EXPECT_EQ(s->SetPos(pos), pos);
    }
}

// ---- Damaged entries ------------------------------------------------------------------

// Reads the entry to its end; the result of the first read that is not Ok,
// or Ok, and the number of bytes delivered.
std::pair<LVResult, size_t> drain(LVStream& s) {
    char chunk[4096];
    size_t total = 0;
    for (;;) {
        lvsize_t got = 0;
        LVResult r = s.Read(chunk, sizeof chunk, &got);
        total += got;
        if (r != ResultOk) return {r, total};
        if (got == 0) return {ResultOk, total};
    }
}

TEST(ZipArcTest, CorruptDeflateDataFailsTheReadInsteadOfEndingEarly) {
    const std::string text = sampleText(100000);
    const std::string packed = deflateRaw(text);
    std::string garbled = packed;
    for (size_t i = 200; i < 260; ++i) garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    struct Case {
        const char* what;
        ZipEntry entry;
    };
    const Case cases[] = {
        {"garbled data", {.name = "e", .data = text, .packed = garbled}},
        {"packed data cut short",
         {.name = "e", .data = text, .centralPacked = static_cast<uint32_t>(packed.size() / 2)}},
        {"recorded size too large", {.name = "e", .data = text, .centralUnpacked = 100500}},
        {"not deflate data at all", {.name = "e", .data = text, .packed = std::string(500, '\xFF')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingLogger logger;
        ContainerHandle arc = openBytes(buildZip({c.entry}).bytes);
        ASSERT_TRUE(arc);
        StreamHandle s = arc->OpenStream(u"e", OpenModeRead);
        ASSERT_TRUE(s);
        auto [result, delivered] = drain(*s);
        EXPECT_EQ(result, ResultFail);
        EXPECT_LT(delivered, s->GetSize());
        // The failure sticks until a seek restarts the decoder, which fails again.
        lvsize_t got = 0;
        char byte;
        EXPECT_EQ(s->Read(&byte, 1, &got), ResultFail);
        EXPECT_EQ(s->SetPos(0), 0);
        EXPECT_EQ(drain(*s).first, ResultFail);
        EXPECT_TRUE(logger.contains("ZIP stream 'e'"));
    }
}

TEST(ZipArcTest, CrcMismatchIsOnlyLogged) {
    CapturingLogger logger;
    const std::string text = sampleText(3000);
    ContainerHandle arc = openBytes(buildZip({{.name = "e", .data = text, .centralCrc = 1234}}).bytes);
    ASSERT_TRUE(arc);
    EXPECT_EQ(entryContent(arc, "e"), text);
    EXPECT_TRUE(logger.contains("ERROR ZIP stream 'e': CRC doesn't match"));
    uint32_t crc = 0;
    arc->OpenStream(u"e", OpenModeRead)->GetCrc32(&crc);
    EXPECT_EQ(crc, 1234u);
}

TEST(ZipArcTest, EntriesThatGiveNoStream) {
    struct Case {
        const char* what;
        ZipEntry entry;
        size_t localOffset;  // written over the central entry's offset when not 0
    };
    const Case cases[] = {
        {"stored with differing sizes",
         {.name = "e", .data = "abcdef", .method = 0, .centralUnpacked = 5}, 0},
        {"bzip2", {.name = "e", .data = "abc", .method = 12, .packed = std::string("BZh9")}, 0},
        {"encrypted", {.name = "e", .data = "abc", .flags = 0x0001}, 0},
        {"packed size past the end", {.name = "e", .data = "abc", .centralPacked = 100000}, 0},
        {"packed size wrapping 32 bits",
         {.name = "e", .data = "abc", .method = 0, .centralPacked = 0xFFFFFFF0u,
          .centralUnpacked = 0xFFFFFFF0u},
         0},
        {"local header offset past the end", {.name = "e", .data = "abc"}, 0x7FFFFFF0},
        {"local header offset at no header", {.name = "e", .data = "abc"}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BuiltZip zip = buildZip({c.entry, {.name = "ok", .data = "fine"}});
        if (c.localOffset) set32(zip.bytes, zip.centralOffset + 42, c.localOffset);
        ContainerHandle arc = openBytes(zip.bytes);
        ASSERT_TRUE(arc);
        EXPECT_EQ(arc->GetObjectCount(), 2);
        EXPECT_FALSE(arc->OpenStream(u"e", OpenModeRead));
        EXPECT_EQ(entryContent(arc, "ok"), "fine");
    }
}

// ---- Damaged directories -------------------------------------------------------------

TEST(ZipArcTest, CentralDirectoryEndsAtTheFirstRecordThatIsNotAnEntry) {
    std::vector<ZipEntry> entries = {{.name = "a", .data = "1"}, {.name = "b", .data = "2"},
                                     {.name = "c", .data = "3"}};
    // The zip64 end record that follows the directory of streamed archives.
    BuiltZip withZip64 = buildZip(entries, {.zip64End = true});
    ContainerHandle arc = openBytes(withZip64.bytes);
    ASSERT_TRUE(arc);
    EXPECT_EQ(names(arc), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(isRecovered(arc));

    // A damaged third entry: the first two are kept.
    BuiltZip damaged = buildZip(entries);
    size_t third = damaged.bytes.find(std::string("PK\x01\x02", 4), damaged.centralOffset);
    third = damaged.bytes.find(std::string("PK\x01\x02", 4), third + 1);
    third = damaged.bytes.find(std::string("PK\x01\x02", 4), third + 1);
    ASSERT_NE(third, std::string::npos);
    damaged.bytes[third + 2] = 'X';
    arc = openBytes(damaged.bytes);
    ASSERT_TRUE(arc);
    EXPECT_EQ(names(arc), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(isRecovered(arc));
}

TEST(ZipArcTest, WalksLocalHeadersWhenTheDirectoryIsMissingOrUnusable) {
    const std::string text = sampleText(20000);
    std::vector<ZipEntry> entries = {{.name = "one", .data = text},
                                     {.name = "two", .data = "stored", .method = 0},
                                     {.name = "three", .data = text.substr(0, 9000)}};
    BuiltZip zip = buildZip(entries);
    const size_t third = zip.localOffsets[2];
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> expected;
    };
    std::string badOffset = zip.bytes;
    set32(badOffset, zip.endOffset + 16, static_cast<uint32_t>(zip.localOffsets[1] + 3));
    std::string offsetPastEnd = zip.bytes;
    set32(offsetPastEnd, zip.endOffset + 16, 0x7FFFFF00);
    const Case cases[] = {
        {"cut inside the directory", zip.bytes.substr(0, zip.centralOffset + 50),
         {"one", "two", "three"}},
        {"cut right after the data", zip.bytes.substr(0, zip.centralOffset),
         {"one", "two", "three"}},
        {"cut inside the third entry's data", zip.bytes.substr(0, third + 60), {"one", "two"}},
        {"cut inside the third header", zip.bytes.substr(0, third + 10), {"one", "two"}},
        {"cut inside the first entry's data", zip.bytes.substr(0, 100), {}},
        {"directory offset into entry data", badOffset, {"one", "two", "three"}},
        {"directory offset past the end", offsetPastEnd, {"one", "two", "three"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ContainerHandle arc = openBytes(c.bytes);
        if (c.expected.empty()) {
            EXPECT_FALSE(arc);
            continue;
        }
        ASSERT_TRUE(arc);
        EXPECT_TRUE(isRecovered(arc));
        EXPECT_EQ(names(arc), c.expected);
        EXPECT_EQ(entryContent(arc, "one"), text);
        EXPECT_EQ(entryContent(arc, "two"), "stored");
    }
}

TEST(ZipArcTest, RecoveryMeasuresEntriesWhoseSizesFollowTheirData) {
    const std::string text = sampleText(40000);
    struct Case {
        const char* what;
        bool signature;
        bool zip64;
    };
    const Case cases[] = {
        {"signed descriptor", true, false},
        {"unsigned descriptor", false, false},
        {"zip64 descriptor", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BuiltZip zip = buildZip(
            {{.name = "a", .data = text, .descriptor = true, .descriptorSignature = c.signature,
              .zip64 = c.zip64},
             {.name = "b", .data = "bee", .descriptor = true, .descriptorSignature = c.signature,
              .zip64 = c.zip64},
             {.name = "c", .data = "sea", .method = 0}});
        ContainerHandle arc = openBytes(zip.bytes.substr(0, zip.centralOffset + 10));
        ASSERT_TRUE(arc);
        EXPECT_TRUE(isRecovered(arc));
        ASSERT_EQ(names(arc), (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(arc->GetObjectInfo(0)->GetSize(), text.size());
        EXPECT_EQ(entryContent(arc, "a"), text);
        EXPECT_EQ(entryContent(arc, "b"), "bee");
        EXPECT_EQ(entryContent(arc, "c"), "sea");
        uint32_t crc = 0;
        arc->OpenStream(u"a", OpenModeRead)->GetCrc32(&crc);
        EXPECT_EQ(crc, crcOf(text));
    }
    // A stored entry whose size follows its data cannot be measured: the
    // walk ends before it.
    BuiltZip stored = buildZip({{.name = "a", .data = "x"},
                                {.name = "b", .data = "plain", .method = 0, .descriptor = true}});
    ContainerHandle arc = openBytes(stored.bytes.substr(0, stored.centralOffset));
    ASSERT_TRUE(arc);
    EXPECT_EQ(names(arc), (std::vector<std::string>{"a"}));
}

TEST(ZipArcTest, EndRecordSearch) {
    std::vector<ZipEntry> entries = {{.name = "a", .data = "1"}, {.name = "b", .data = "2"}};
    const std::string sig("PK\x05\x06", 4);
    struct Case {
        const char* what;
        std::string comment;
    };
    const Case cases[] = {
        {"no comment", ""},
        {"signature at the very end", "note " + sig},
        {"signature with a record's worth of bytes", "x" + sig + std::string(18, '\x7F')},
        {"longest comment", std::string(65535, 'c')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ContainerHandle arc = openBytes(buildZip(entries, {.comment = c.comment}).bytes);
        ASSERT_TRUE(arc);
        EXPECT_FALSE(isRecovered(arc));
        EXPECT_EQ(names(arc), (std::vector<std::string>{"a", "b"}));
    }
    // An end record further back than the longest comment is not searched for.
    ContainerHandle arc = openBytes(buildZip(entries).bytes + std::string(70000, '\0'));
    ASSERT_TRUE(arc);
    EXPECT_TRUE(isRecovered(arc));
    EXPECT_EQ(names(arc), (std::vector<std::string>{"a", "b"}));
}

TEST(ZipArcTest, OpenArchiveRefusesWhatIsNotAZipWithEntries) {
    std::string emptyZip = buildZip({}).bytes;  // only an end record
    const std::string cases[] = {
        "",
        "PK",
        std::string("PK\x03\x04", 4),
        // A local header without a name, and no directory.
        std::string("PK\x03\x04", 4) + std::string(40, '\0'),
        emptyZip,
        "plain text, not an archive at all",
        "  " + buildZip({{.name = "a", .data = "1"}}).bytes,
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(bytes.size());
        EXPECT_FALSE(openBytes(bytes));
    }
    EXPECT_FALSE(openArchive(nullptr));
}

TEST(ZipArcTest, EntryStreamOutlivesTheContainerAndTheSourceHandle) {
    const std::string text = sampleText(50000);
    StreamHandle entry;
    {
        std::string bytes = buildZip({{.name = "t", .data = text}}).bytes;
        ContainerHandle arc = openBytes(bytes);
        ASSERT_TRUE(arc);
        entry = arc->OpenStream(u"t", OpenModeRead);
    }
    ASSERT_TRUE(entry);
    EXPECT_EQ(readRest(*entry), text);
}

TEST(ZipArcTest, EntriesOfOneArchiveReadInterleaved) {
    const std::string one = sampleText(60000), two = patternBytes(60000, 3);
    ContainerHandle arc = openBytes(
        buildZip({{.name = "1", .data = one}, {.name = "2", .data = two, .method = 0}}).bytes);
    ASSERT_TRUE(arc);
    StreamHandle a = arc->OpenStream(u"1", OpenModeRead), b = arc->OpenStream(u"2", OpenModeRead);
    std::string ra, rb;
    char buf[3000];
    for (int i = 0; i < 20; ++i) {
        lvsize_t got = 0;
        ASSERT_EQ(a->Read(buf, sizeof buf, &got), ResultOk);
        ra.append(buf, got);
        ASSERT_EQ(b->Read(buf, sizeof buf, &got), ResultOk);
        rb.append(buf, got);
    }
    EXPECT_EQ(ra, one);
    EXPECT_EQ(rb, two);
}

}  // namespace
