#include "streams/memstream.h"

#include <gtest/gtest.h>

#include "stream_test_support.h"

namespace {

TEST(MemoryStream, EmptyStreamGrowsAndReadsWhatWasWritten) {
    MemoryStreamHandle s = createMemoryStream();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetMode(), OpenModeReadWrite);
    EXPECT_EQ(s->GetSize(), 0u);
    EXPECT_TRUE(s->ownsBuffer());

    // Many small writes and one large one, well past the first 4096 bytes.
    const std::string data = patternBytes(50000);
    for (size_t at = 0; at < 20000; at += 100)
        ASSERT_EQ(writeString(*s, data.substr(at, 100)), ResultOk);
    ASSERT_EQ(writeString(*s, data.substr(20000)), ResultOk);
    EXPECT_EQ(s->GetSize(), data.size());
    EXPECT_GE(s->capacity(), data.size());
    EXPECT_EQ(readAt(*s, 0, 60000), data);

    // Overwriting in the middle keeps the size.
    ASSERT_EQ(s->SetPos(10), 10);
    ASSERT_EQ(writeString(*s, "XYZ"), ResultOk);
    EXPECT_EQ(s->GetSize(), data.size());
    EXPECT_EQ(readAt(*s, 8, 7), data.substr(8, 2) + "XYZ" + data.substr(13, 2));
}

TEST(MemoryStream, SwitchFromWriteToReadRewinds) {
    MemoryStreamHandle s = createMemoryStream(nullptr, 0, true, OpenModeWrite);
    ASSERT_TRUE(s);
    ASSERT_EQ(writeString(*s, "chapter one"), ResultOk);
    char c;
    lvsize_t got = 5;
    EXPECT_EQ(s->Read(&c, 1, &got), ResultFail);  // write mode cannot read
    EXPECT_EQ(got, 0u);

    EXPECT_EQ(s->SetMode(OpenModeRead), ResultOk);
    EXPECT_EQ(s->GetMode(), OpenModeRead);
    EXPECT_EQ(s->GetPos(), 0);
    EXPECT_EQ(readRest(*s), "chapter one");
    EXPECT_EQ(writeString(*s, "x"), ResultFail);
    EXPECT_EQ(s->SetMode(OpenModeWrite), ResultFail);  // no way back
    EXPECT_EQ(s->SetMode(OpenModeRead), ResultOk);     // keeping the mode is fine
}

TEST(MemoryStream, SetModeAllowsOnlyWriteToRead) {
    const int32_t modes[] = {OpenModeRead, OpenModeWrite, OpenModeAppend, OpenModeReadWrite};
    for (int32_t from : modes) {
        for (int32_t to : modes) {
            MemoryStreamHandle s = createMemoryStream("abc", 3, true, from);
            ASSERT_TRUE(s);
            bool allowed = from == to || (from == OpenModeWrite && to == OpenModeRead);
            EXPECT_EQ(s->SetMode(to), allowed ? ResultOk : ResultFail) << from << " -> " << to;
            EXPECT_EQ(s->GetMode(), allowed ? to : from);
        }
    }
}

TEST(MemoryStream, BorrowedBytesAreReadOnlyAndNotCopied) {
    char bytes[] = "borrowed text";
    const lvsize_t n = sizeof bytes - 1;
    MemoryStreamHandle s = createMemoryStream(bytes, n, false);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetMode(), OpenModeRead);
    EXPECT_FALSE(s->ownsBuffer());
    EXPECT_EQ(s->data(), reinterpret_cast<const uint8_t*>(bytes));
    EXPECT_EQ(readRest(*s), "borrowed text");

    EXPECT_EQ(writeString(*s, "x"), ResultFail);
    EXPECT_EQ(s->SetMode(OpenModeWrite), ResultFail);
    EXPECT_EQ(s->SetSize(3), ResultFail);
    EXPECT_EQ(s->GetSize(), n);

    EXPECT_EQ(s->Close(), ResultOk);  // drops the bytes without freeing them
    EXPECT_STREQ(bytes, "borrowed text");
}

TEST(MemoryStream, CopiedBytesAreIndependentOfTheCaller) {
    std::string source = "original";
    MemoryStreamHandle s = createMemoryStream(source.data(), 8, true, OpenModeRead);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->ownsBuffer());
    source[0] = 'X';
    EXPECT_EQ(readRest(*s), "original");
}

struct CopyModeCase {
    int32_t mode;
    bool reads;
    bool writes;
    lvpos_t start;
};

TEST(MemoryStream, CopyingFactoryOpensInTheGivenMode) {
    const CopyModeCase cases[] = {
        {OpenModeRead, true, false, 0},
        {OpenModeWrite, false, true, 0},
        {OpenModeAppend, false, true, 5},
        {OpenModeReadWrite, true, true, 0},
    };
    for (const CopyModeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        MemoryStreamHandle s = createMemoryStream("12345", 5, true, c.mode);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->GetMode(), c.mode);
        EXPECT_EQ(s->GetPos(), c.start);
        char buf[5];
        lvsize_t got = 0;
        ASSERT_EQ(s->SetPos(0), 0);
        EXPECT_EQ(s->Read(buf, 5, &got), c.reads ? ResultOk : ResultFail);
        EXPECT_EQ(got, c.reads ? 5u : 0u);
        EXPECT_EQ(writeString(*s, "ab"), c.writes ? ResultOk : ResultFail);
    }
    // Append mode writes after the copied bytes.
    MemoryStreamHandle log = createMemoryStream("12345", 5, true, OpenModeAppend);
    ASSERT_EQ(writeString(*log, "67"), ResultOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(log->data()), log->GetSize()), "1234567");
}

TEST(MemoryStream, FactoryRejectsWhatCannotBeAStream) {
    EXPECT_TRUE(createMemoryStream("abc", 3, true, OpenModeError).isNull());
    EXPECT_TRUE(createMemoryStream("abc", 3, true, OpenModeClosed).isNull());
    EXPECT_TRUE(createMemoryStream("abc", 3, true, 6).isNull());
    EXPECT_TRUE(createMemoryStream(nullptr, 3, false).isNull());
    EXPECT_TRUE(createMemoryStream(nullptr, 3, true, OpenModeRead).isNull());
    EXPECT_TRUE(createMemoryStream("abc", 0x80000000u, false).isNull());

    // An empty block is a valid, empty stream in both forms.
    for (bool copy : {false, true}) {
        MemoryStreamHandle s = createMemoryStream(nullptr, 0, copy, OpenModeRead);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->GetSize(), 0u);
        EXPECT_TRUE(s->Eof());
        EXPECT_EQ(s->ReadByte(), -1);
    }
}

TEST(MemoryStream, SeekStaysWithinTheData) {
    const SeekCase cases[] = {
        {0, SeekFromStart, 0},
        {10, SeekFromStart, 10},
        {6, SeekFromCurrent, 10},
        {-4, SeekFromCurrent, 0},
        {0, SeekFromEnd, 10},
        {-10, SeekFromEnd, 0},
        {11, SeekFromStart, -1},
        {-1, SeekFromStart, -1},
        {7, SeekFromCurrent, -1},
        {-5, SeekFromCurrent, -1},
        {1, SeekFromEnd, -1},
        {-11, SeekFromEnd, -1},
        {INT32_MAX, SeekFromEnd, -1},
        {INT32_MIN, SeekFromCurrent, -1},
        {0, 3, -1},
    };
    MemoryStreamHandle s = createMemoryStream("0123456789", 10, true, OpenModeRead);
    ASSERT_TRUE(s);
    expectSeeks(*s, cases);
}

TEST(MemoryStream, ReadIsCutAtTheEnd) {
    MemoryStreamHandle s = createMemoryStream("0123456789", 10, false);
    ASSERT_TRUE(s);
    std::string buf(32, '.');
    lvsize_t got = 0;
    ASSERT_EQ(s->SetPos(7), 7);
    EXPECT_EQ(s->Read(buf.data(), UINT32_MAX, &got), ResultOk);
    EXPECT_EQ(buf.substr(0, got), "789");
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->Read(buf.data(), 5, &got), ResultOk);  // at the end: success, nothing read
    EXPECT_EQ(got, 0u);
}

TEST(MemoryStream, SetSizeZeroFillsGrowthAndClipsThePosition) {
    MemoryStreamHandle s = createMemoryStream();
    ASSERT_EQ(writeString(*s, "abcdef"), ResultOk);
    EXPECT_EQ(s->SetSize(3), ResultOk);
    EXPECT_EQ(s->GetPos(), 3);
    EXPECT_EQ(s->SetSize(10000), ResultOk);  // beyond the first buffer
    EXPECT_EQ(s->GetSize(), 10000u);
    EXPECT_EQ(s->GetPos(), 3);
    EXPECT_EQ(readAt(*s, 0, 10000), "abc" + std::string(9997, '\0'));
    EXPECT_EQ(s->SetSize(0x80000000u), ResultFail);
    EXPECT_EQ(s->GetSize(), 10000u);
}

TEST(MemoryStream, CloseFreesTheBufferOnce) {
    MemoryStreamHandle s = createMemoryStream();
    ASSERT_EQ(writeString(*s, "abc"), ResultOk);
    EXPECT_EQ(s->Close(), ResultOk);
    EXPECT_EQ(s->Close(), ResultFail);  // nothing left to close
    EXPECT_EQ(s->data(), nullptr);
    EXPECT_EQ(s->GetSize(), kUnknownSize);
    lvsize_t size = 5;
    EXPECT_EQ(s->GetSize(&size), ResultFail);
    char c;
    EXPECT_EQ(s->Read(&c, 1, nullptr), ResultFail);
    EXPECT_EQ(s->Write("x", 1, nullptr), ResultFail);
    EXPECT_EQ(s->Seek(0, SeekFromStart, nullptr), ResultFail);
    EXPECT_EQ(s->SetSize(1), ResultFail);
}

}  // namespace
