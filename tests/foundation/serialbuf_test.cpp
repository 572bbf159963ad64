#include "foundation/serialbuf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/stringlist.h"
#include "foundation/textutil.h"

namespace {

std::vector<uint8_t> bytesOf(const SerialBuffer& buf) {
    return std::vector<uint8_t>(buf.data(), buf.data() + buf.pos());
}

TEST(SerialBufferTest, RoundTripOfEveryType) {
    const LVString16 wide(u"\u041f\u0440\u0438\u0432\u0435\u0442 \u20ac");
    SerialBuffer w(0, true);
    w.write8(0xAB);
    w.writeBool(true);
    w.writeBool(false);
    w.write16(0xBEEF);
    w.writeU32(0xDEADBEEF);
    w.writeI32(-2);
    w.writeString(LVString8("bytes"));
    w.writeString(LVString8());
    w.writeString(wide);
    w.writeTag("ABCD");
    ASSERT_FALSE(w.error());

    // Little-endian, byte by byte.
    const std::vector<uint8_t> head = {0xAB, 1,    0,    0xEF, 0xBE, 0xEF, 0xBE, 0xAD,
                                       0xDE, 0xFE, 0xFF, 0xFF, 0xFF, 5,    0,    'b',
                                       'y',  't',  'e',  's',  0,    0,    16,   0};
    const std::vector<uint8_t> all = bytesOf(w);
    ASSERT_EQ(all.size(), head.size() + 16 + 4);
    EXPECT_EQ(std::vector<uint8_t>(all.begin(), all.begin() + head.size()), head);
    EXPECT_EQ(std::memcmp(all.data() + all.size() - 4, "ABCD", 4), 0);

    SerialBuffer r(all.data(), all.size());
    uint8_t b = 0;
    bool t = false, f = true;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    int32_t i32 = 0;
    LVString8 s8("stale"), e8("stale");
    LVString16 s16;
    EXPECT_TRUE(r.read8(b) && r.readBool(t) && r.readBool(f) && r.read16(u16) && r.readU32(u32) &&
                r.readI32(i32) && r.readString(s8) && r.readString(e8) && r.readString(s16) &&
                r.verifyTag("ABCD"));
    EXPECT_EQ(b, 0xAB);
    EXPECT_TRUE(t);
    EXPECT_FALSE(f);
    EXPECT_EQ(u16, 0xBEEF);
    EXPECT_EQ(u32, 0xDEADBEEF);
    EXPECT_EQ(i32, -2);
    EXPECT_TRUE(s8 == "bytes");
    EXPECT_TRUE(e8.empty());
    EXPECT_TRUE(s16 == wide);
    EXPECT_EQ(r.pos(), r.size());
    EXPECT_FALSE(r.error());
    EXPECT_EQ(r.crc(), lvCrc32(0, all.data(), all.size()));
}

TEST(SerialBufferTest, AnyNonZeroByteReadsAsTrue) {
    const uint8_t data[] = {7};
    SerialBuffer r(data, 1);
    bool v = false;
    EXPECT_TRUE(r.readBool(v));
    EXPECT_TRUE(v);
}

TEST(SerialBufferTest, FixedSizeBufferFailsOnceFullAndStaysFailed) {
    SerialBuffer w(4, false);
    EXPECT_TRUE(w.writeU32(0x01020304));
    EXPECT_EQ(w.pos(), 4u);
    EXPECT_NE(w.crc(), 0u);
    EXPECT_FALSE(w.write8(0));
    EXPECT_TRUE(w.error());
    EXPECT_EQ(w.size(), 4u);
    EXPECT_EQ(w.crc(), 0u);
    // Everything after the error is a no-op, even what would fit.
    EXPECT_FALSE(w.setPos(0));
    EXPECT_FALSE(w.writeTag(""));
    EXPECT_EQ(w.pos(), 4u);
    const uint8_t expected[] = {4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(w.data(), expected, 4), 0);
}

TEST(SerialBufferTest, FailedReadLeavesTargetUnchanged) {
    const uint8_t data[] = {1, 2, 3};
    SerialBuffer r(data, sizeof data);
    uint32_t u32 = 99;
    EXPECT_FALSE(r.readU32(u32));
    EXPECT_EQ(u32, 99u);
    uint8_t u8 = 99;
    EXPECT_FALSE(r.read8(u8));  // the error persists although a byte is left
    EXPECT_EQ(u8, 99);
    EXPECT_EQ(r.pos(), 0u);
}

TEST(SerialBufferTest, CutShortStringKeepsWhatWasThere) {
    const uint8_t data[] = {10, 0, 'a', 'b', 'c'};
    SerialBuffer r(data, sizeof data);
    LVString8 s("old");
    EXPECT_FALSE(r.readString(s));
    EXPECT_TRUE(s == "abc");
    EXPECT_TRUE(r.error());
    EXPECT_FALSE(r.readString(s));  // emptied, then nothing read
    EXPECT_TRUE(s.empty());
}

TEST(SerialBufferTest, AutoResizeGrowsAndZeroFills) {
    SerialBuffer small(10, true);
    for (int i = 0; i < 11; ++i) small.write8(0xFF);
    EXPECT_EQ(small.size(), 11u + 16384u);
    SerialBuffer big(20000, true);
    EXPECT_TRUE(big.setPos(19998));
    EXPECT_TRUE(big.writeU32(0xFFFFFFFF));
    EXPECT_EQ(big.size(), 20002u + 40000u);
    EXPECT_FALSE(big.error());
    for (size_t i = 0; i < big.size(); ++i) {
        if (i < 19998 || i >= 20002) {
            ASSERT_EQ(big.data()[i], 0) << i;
        }
    }
}

TEST(SerialBufferTest, ReadOnlyBufferRejectsWrites) {
    const uint8_t data[8] = {};
    SerialBuffer r(data, sizeof data);
    EXPECT_FALSE(r.write8(1));
    EXPECT_TRUE(r.error());
}

TEST(SerialBufferTest, TagMismatchSetsError) {
    const uint8_t data[] = {'S', 'T', 'R', 'X'};
    SerialBuffer r(data, sizeof data);
    EXPECT_FALSE(r.verifyTag("STRS"));
    EXPECT_TRUE(r.error());
}

TEST(SerialBufferTest, CrcDetectsDamage) {
    SerialBuffer w(0, true);
    w.writeTag("DATA");
    w.writeU32(12345);
    EXPECT_TRUE(w.writeCrc(8));
    std::vector<uint8_t> bytes = bytesOf(w);
    ASSERT_EQ(bytes.size(), 12u);

    {
        SerialBuffer r(bytes.data(), bytes.size());
        r.setPos(8);
        EXPECT_TRUE(r.verifyCrc(8));
        EXPECT_FALSE(r.error());
    }
    for (size_t damaged : {size_t{0}, size_t{5}, size_t{9}}) {
        std::vector<uint8_t> copy = bytes;
        copy[damaged] ^= 0x10;
        SerialBuffer r(copy.data(), copy.size());
        r.setPos(8);
        EXPECT_FALSE(r.verifyCrc(8)) << damaged;
        EXPECT_TRUE(r.error());
    }
}

TEST(SerialBufferTest, CrcOverMoreBytesThanThereAre) {
    SerialBuffer w(0, true);
    w.write16(1);
    EXPECT_FALSE(w.writeCrc(3));
    EXPECT_TRUE(w.error());
    EXPECT_EQ(w.pos(), 6u);  // the zero placeholder was written
    EXPECT_EQ(w.data()[2] | w.data()[3] | w.data()[4] | w.data()[5], 0);

    const uint8_t data[8] = {};
    SerialBuffer r(data, sizeof data);
    r.setPos(2);
    EXPECT_FALSE(r.verifyCrc(3));
    EXPECT_TRUE(r.error());
}

TEST(SerialBufferTest, OverlongStringWritesNothing) {
    SerialBuffer w(0, true);
    LVString8 limit;
    limit.append(65535, 'x');
    EXPECT_TRUE(w.writeString(limit));
    EXPECT_EQ(w.pos(), 65537u);

    LVString8 tooLong;
    tooLong.append(65536, 'x');
    EXPECT_FALSE(w.writeString(tooLong));
    EXPECT_TRUE(w.error());
    EXPECT_EQ(w.pos(), 65537u);

    // The limit applies to the UTF-8 form: 30000 euro signs take 90000 bytes.
    SerialBuffer w16(0, true);
    LVString16 euros;
    euros.append(30000, u'\u20ac');
    EXPECT_FALSE(w16.writeString(euros));
    EXPECT_EQ(w16.pos(), 0u);

    SerialBuffer r(w.data(), 65537);
    LVString8 back;
    EXPECT_TRUE(r.readString(back));
    EXPECT_TRUE(back == limit);
}

// ---- STRS records -----------------------------------------------------------------------------

StringList16 sampleList() {
    StringList16 list;
    for (const char16_t* s : {u"alpha", u"", u"\u0436\u0443\u043a", u"alpha", u"\u20ac"})
        list.add(LVString16(s));
    return list;
}

std::vector<uint8_t> writeSample() {
    SerialBuffer w(0, true);
    w.write8(0x5A);  // the record need not start at 0
    EXPECT_TRUE(w.writeStrings(sampleList()));
    return bytesOf(w);
}

TEST(SerialBufferTest, StringsRecordRoundTrip) {
    const std::vector<uint8_t> bytes = writeSample();
    EXPECT_EQ(std::memcmp(bytes.data() + 1, "STRS\x05\0\0\0", 8), 0);
    const uint32_t crc = lvCrc32(0, bytes.data() + 1, bytes.size() - 5);
    const uint8_t* stored = bytes.data() + bytes.size() - 4;
    EXPECT_EQ(stored[0] | stored[1] << 8 | stored[2] << 16 | uint32_t(stored[3]) << 24, crc);

    const StringList16 expected = sampleList();
    SerialBuffer r(bytes.data(), bytes.size());
    r.setPos(1);
    StringList16 list;
    list.add(LVString16(u"dropped"));
    EXPECT_TRUE(r.readStrings(list));
    ASSERT_EQ(list.length(), expected.length());
    for (int32_t i = 0; i < list.length(); ++i) EXPECT_TRUE(list[i] == expected[i]) << i;
    EXPECT_EQ(r.pos(), bytes.size());

    SerialBuffer rh(bytes.data(), bytes.size());
    rh.setPos(1);
    HashedStringList hashed;
    hashed.add(LVString16(u"dropped"));
    EXPECT_TRUE(rh.readStrings(hashed));
    EXPECT_EQ(hashed.length(), 4);  // the duplicate "alpha" collapses
    EXPECT_EQ(hashed.find(LVString16(u"alpha")), 0);
    EXPECT_EQ(hashed.find(LVString16(u"\u20ac")), 3);
    EXPECT_EQ(hashed.find(LVString16(u"dropped")), -1);
}

TEST(SerialBufferTest, StringsRecordWithDamageFails) {
    const std::vector<uint8_t> good = writeSample();
    // A byte of a string, the count's high byte, the tag and the CRC itself.
    for (size_t damaged : {size_t{12}, size_t{8}, size_t{1}, good.size() - 1}) {
        std::vector<uint8_t> bytes = good;
        bytes[damaged] ^= 0x01;
        SerialBuffer r(bytes.data(), bytes.size());
        r.setPos(1);
        StringList16 list;
        EXPECT_FALSE(r.readStrings(list)) << damaged;
        EXPECT_TRUE(r.error());
    }
}

// A damaged count must not drive the read loop: it stops when the bytes run
// out, also in an auto-resizing buffer (reads never grow it).
TEST(SerialBufferTest, StringsRecordWithHugeCountStopsPromptly) {
    SerialBuffer w(0, true);
    w.writeTag("STRS");
    w.writeU32(4000000000u);
    w.writeString(LVString16(u"one"));
    w.writeString(LVString16(u"two"));
    const size_t written = w.pos();
    ASSERT_FALSE(w.error());

    const std::vector<uint8_t> bytes = bytesOf(w);
    SerialBuffer r(bytes.data(), bytes.size());
    HashedStringList hashed;
    EXPECT_FALSE(r.readStrings(hashed));
    EXPECT_EQ(hashed.length(), 2);

    w.setPos(0);
    StringList16 list;
    EXPECT_FALSE(w.readStrings(list));
    EXPECT_LE(list.length(), int32_t(w.size() / 2));
    EXPECT_GE(w.size(), written);
    EXPECT_LT(w.size(), written + 16384 + 1);  // no growth while reading
}

}  // namespace
