#include "streams/fragment.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "stream_test_support.h"
#include "streams/memstream.h"

namespace {

class StreamFragmentTest : public ::testing::Test {
protected:
    const std::string content = patternBytes(200);
    StreamHandle base = createMemoryStream(content.data(), 200, true, OpenModeRead);

    StreamHandle window(lvpos_t start, lvsize_t size) {
        return StreamHandle(new LVStreamFragment(base, start, size));
    }
};

TEST_F(StreamFragmentTest, ReadsOnlyItsWindow) {
    StreamHandle f = window(100, 10);
    EXPECT_EQ(f->GetSize(), 10u);
    EXPECT_EQ(f->GetMode(), OpenModeRead);
    std::string buf(50, '\0');
    lvsize_t got = 0;
    EXPECT_EQ(f->Read(buf.data(), 50, &got), ResultOk);
    ASSERT_EQ(got, 10u);
    EXPECT_EQ(buf.substr(0, 10), content.substr(100, 10));
    EXPECT_TRUE(f->Eof());
    EXPECT_EQ(f->Read(buf.data(), 50, &got), ResultOk);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(f->ReadByte(), -1);

    // Positions are relative to the window.
    EXPECT_EQ(readAt(*f, 7, 100), content.substr(107, 3));
    EXPECT_EQ(f->GetPos(), 10);
}

TEST_F(StreamFragmentTest, WindowIsCutToTheBase) {
    struct Case {
        lvpos_t start;
        lvsize_t size;
        lvsize_t expected;
    };
    const Case cases[] = {
        {0, 200, 200},
        {195, 10, 5},
        {200, 10, 0},
        {250, 10, 0},
        {-1, 10, 0},
        {10, UINT32_MAX, 190},
        {INT32_MAX, UINT32_MAX, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " size " << c.size);
        StreamHandle f = window(c.start, c.size);
        EXPECT_EQ(f->GetSize(), c.expected);
        std::string all = readRest(*f);
        EXPECT_EQ(all.size(), c.expected);
        if (c.expected > 0) {
            EXPECT_EQ(all, content.substr(c.start, c.expected));
        }
    }
    StreamHandle none(new LVStreamFragment(nullptr, 0, 10));
    EXPECT_EQ(none->GetSize(), 0u);
    EXPECT_EQ(none->ReadByte(), -1);
}

TEST_F(StreamFragmentTest, SeekStaysWithinTheWindow) {
    struct Case {
        lvpos_t offset;
        int32_t origin;
        lvpos_t expected;  // -1: fails, position stays at 4
    };
    const Case cases[] = {
        {0, SeekFromStart, 0},
        {10, SeekFromStart, 10},
        {-4, SeekFromCurrent, 0},
        {-3, SeekFromEnd, 7},
        {11, SeekFromStart, -1},
        {-1, SeekFromStart, -1},
        {7, SeekFromCurrent, -1},
        {1, SeekFromEnd, -1},
        {-11, SeekFromEnd, -1},
        {INT32_MAX, SeekFromCurrent, -1},
        {0, 9, -1},
    };
    StreamHandle f = window(100, 10);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " origin " << c.origin);
        ASSERT_EQ(f->SetPos(4), 4);
        LVResult result = f->Seek(c.offset, c.origin, nullptr);
        EXPECT_EQ(result, c.expected < 0 ? ResultFail : ResultOk);
        EXPECT_EQ(f->GetPos(), c.expected < 0 ? 4 : c.expected);
    }
}

TEST_F(StreamFragmentTest, FragmentsSharingABaseDoNotDisturbEachOther) {
    StreamHandle a = window(10, 20);
    StreamHandle b = window(150, 20);
    char ca[5], cb[5];
    std::string fromA, fromB;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(base->SetPos(static_cast<lvpos_t>(i * 37)) >= 0);  // the base moves too
        ASSERT_EQ(a->Read(ca, 5, nullptr), ResultOk);
        ASSERT_EQ(b->Read(cb, 5, nullptr), ResultOk);
        fromA.append(ca, 5);
        fromB.append(cb, 5);
    }
    EXPECT_EQ(fromA, content.substr(10, 20));
    EXPECT_EQ(fromB, content.substr(150, 20));
}

TEST_F(StreamFragmentTest, IsReadOnlyAndHasItsOwnChecksum) {
    StreamHandle f = window(50, 30);
    lvsize_t n = 9;
    EXPECT_EQ(f->Write("x", 1, &n), ResultNotImplemented);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(f->SetSize(5), ResultNotImplemented);
    EXPECT_TRUE(f->GetWriteBuffer(0, 5).isNull());

    uint32_t crc = 0;
    EXPECT_EQ(f->GetCrc32(&crc), ResultOk);
    EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef*>(content.data() + 50), 30));
}

}  // namespace
