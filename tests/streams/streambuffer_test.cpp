#include <gtest/gtest.h>

#include "stream_test_support.h"
#include "streams/filestream.h"
#include "streams/memstream.h"

namespace {

const std::string kContent = "0123456789abcdefghij";

MemoryStreamHandle streamIn(int32_t mode) {
    return createMemoryStream(kContent.data(), static_cast<lvsize_t>(kContent.size()), true, mode);
}

std::string contentOf(const MemoryStreamHandle& s) {
    return std::string(reinterpret_cast<const char*>(s->data()), s->GetSize());
}

// The scripted stream reads in every mode, so only the buffer's own rules decide.
TEST(StreamBuffer, KindOfBufferFollowsTheMode) {
    struct Case {
        int32_t mode;
        bool readBuffer;
        bool writeBuffer;
    };
    const Case cases[] = {
        {OpenModeError, false, false}, {OpenModeClosed, false, false},
        {OpenModeRead, true, false},   {OpenModeWrite, false, true},
        {OpenModeAppend, false, true}, {OpenModeReadWrite, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        Ref<ScriptedStream> s(new ScriptedStream(kContent, c.mode));
        EXPECT_EQ(!s->GetReadBuffer(2, 4).isNull(), c.readBuffer);
        EXPECT_EQ(!s->GetWriteBuffer(2, 4).isNull(), c.writeBuffer);
    }
}

TEST(StreamBuffer, ReadBufferHoldsTheBlock) {
    MemoryStreamHandle s = streamIn(OpenModeRead);
    StreamBufferHandle b = s->GetReadBuffer(5, 10);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->GetSize(), 10u);
    ASSERT_NE(b->GetReadOnly(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->GetReadOnly()), 10), "56789abcde");
    EXPECT_EQ(b->GetReadWrite(), nullptr);
    EXPECT_TRUE(b->Close());
    EXPECT_EQ(b->GetReadOnly(), nullptr);
    EXPECT_EQ(contentOf(s), kContent);
}

TEST(StreamBuffer, BlockMustLieInsideTheStream) {
    struct Case {
        lvpos_t position;
        lvsize_t size;
    };
    const Case bad[] = {
        {-1, 4},                   // before the start
        {17, 4},                   // runs past the end
        {20, 1},                   // starts at the end
        {0, 0},                    // empty
        {1, UINT32_MAX},           // 1 + size wraps in 32 bits
        {INT32_MAX, 0x80000002u},  // position + size wraps to a small number in 32 bits
    };
    // Rejected up front: nothing is allocated or read for such a request.
    Ref<ScriptedStream> s(new ScriptedStream(kContent, OpenModeRead));
    Ref<ScriptedStream> w(new ScriptedStream(kContent, OpenModeReadWrite));
    for (const Case& c : bad) {
        SCOPED_TRACE(testing::Message() << "position " << c.position << " size " << c.size);
        EXPECT_TRUE(s->GetReadBuffer(c.position, c.size).isNull());
        EXPECT_TRUE(w->GetWriteBuffer(c.position, c.size).isNull());
    }
    EXPECT_EQ(s->readCalls + w->readCalls, 0);
    EXPECT_TRUE(s->GetReadBuffer(16, 4));  // the last bytes are fine
}

TEST(StreamBuffer, WriteBufferIsWrittenBackOnClose) {
    MemoryStreamHandle s = streamIn(OpenModeReadWrite);
    StreamBufferHandle b = s->GetWriteBuffer(3, 4);
    ASSERT_TRUE(b);
    ASSERT_NE(b->GetReadWrite(), nullptr);
    EXPECT_EQ(b->GetReadOnly(), b->GetReadWrite());  // a read-write stream can also read it
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->GetReadOnly()), 4), "3456");
    std::memcpy(b->GetReadWrite(), "WXYZ", 4);
    EXPECT_EQ(contentOf(s), kContent);  // nothing written before Close
    EXPECT_TRUE(b->Close());
    EXPECT_EQ(contentOf(s), "012WXYZ789abcdefghij");
}

TEST(StreamBuffer, ReleasingTheLastHandleWritesBack) {
    MemoryStreamHandle s = streamIn(OpenModeReadWrite);
    {
        StreamBufferHandle b = s->GetWriteBuffer(0, 2);
        ASSERT_TRUE(b);
        std::memcpy(b->GetReadWrite(), "!!", 2);
    }
    EXPECT_EQ(contentOf(s), "!!23456789abcdefghij");
}

TEST(StreamBuffer, WriteModeBufferStartsEmptyAndCannotBeRead) {
    MemoryStreamHandle s = streamIn(OpenModeWrite);
    StreamBufferHandle b = s->GetWriteBuffer(10, 3);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->GetReadOnly(), nullptr);
    ASSERT_NE(b->GetReadWrite(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->GetReadWrite()), 3),
              std::string(3, '\0'));
    std::memcpy(b->GetReadWrite(), "***", 3);
    EXPECT_TRUE(b->Close());
    EXPECT_EQ(contentOf(s), "0123456789***defghij");
}

TEST(StreamBuffer, FailedWriteBackIsReported) {
    Ref<ScriptedStream> s(new ScriptedStream(kContent, OpenModeReadWrite));
    StreamBufferHandle b = s->GetWriteBuffer(0, 8);
    ASSERT_TRUE(b);
    s->writeBudget = 5;  // the write-back falls short
    EXPECT_FALSE(b->Close());
    EXPECT_EQ(b->GetReadWrite(), nullptr);  // the data is gone either way

    StreamBufferHandle c = s->GetWriteBuffer(0, 8);
    ASSERT_TRUE(c);
    s->failWrites = true;
    EXPECT_FALSE(c->Close());
}

TEST(StreamBuffer, ShortReadGivesNoBuffer) {
    Ref<ScriptedStream> s(new ScriptedStream(kContent, OpenModeRead));
    s->readBudget = 3;
    EXPECT_TRUE(s->GetReadBuffer(0, 8).isNull());
}

TEST(StreamBuffer, WorksOnFiles) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    dir.writeFile("f.bin", kContent);
    {
        StreamHandle s = openFileStream(dir.path("f.bin"), OpenModeReadWrite);
        ASSERT_TRUE(s);
        StreamBufferHandle b = s->GetWriteBuffer(18, 2);
        ASSERT_TRUE(b);
        std::memcpy(b->GetReadWrite(), "IJ", 2);
    }
    EXPECT_EQ(dir.readFile("f.bin"), "0123456789abcdefghIJ");
    StreamHandle r = openFileStream(dir.path("f.bin"), OpenModeRead);
    ASSERT_TRUE(r);
    StreamBufferHandle b = r->GetReadBuffer(16, 4);
    ASSERT_TRUE(b);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->GetReadOnly()), 4), "ghIJ");
}

}  // namespace
