// Behaviour every stream inherits: names, fixed-size reads, size by seeking,
// the checksum, the flush threshold and copying between streams.
#include "streams/stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "stream_test_support.h"
#include "streams/filestream.h"
#include "streams/memstream.h"

namespace {

uint32_t zlibCrc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

TEST(StreamName, SplitsAtTheLastDelimiter) {
    struct Case {
        const char* name;
        const char* folder;
        const char* file;
    };
    const Case cases[] = {
        {"books/sf/dune.fb2", "books/sf/", "dune.fb2"},
        {"dune.fb2", "", "dune.fb2"},
        {"C:\\books\\dune.fb2", "C:\\books\\", "dune.fb2"},
        {"a\\b/c", "a\\b/", "c"},
        {"a/b\\c", "a/b\\", "c"},
        {"books/", "books/", ""},
        {"", "", ""},
    };
    Ref<ScriptedStream> s(new ScriptedStream());
    EXPECT_EQ(s->GetName(), LVString16());  // unnamed: empty, never null
    EXPECT_NE(s->GetName().c_str(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s->SetName(LVString16(c.name));
        EXPECT_EQ(s->GetName(), LVString16(c.name));
        EXPECT_EQ(s->folderPart(), LVString16(c.folder));
        EXPECT_EQ(s->fileNamePart(), LVString16(c.file));
    }
}

TEST(StreamBase, FixedSizeReadsKeepTheByteOrder) {
    const char bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, static_cast<char>(0xF7)};
    MemoryStreamHandle s = createMemoryStream(bytes, sizeof bytes, false);
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    uint8_t v8 = 0;
    ASSERT_TRUE(s->Read(&v32));
    EXPECT_EQ(v32, 0x04030201u);
    ASSERT_TRUE(s->Read(&v16));
    EXPECT_EQ(v16, 0x0605u);

    // One byte left: the wider reads fail and leave their target alone.
    v32 = 0xDEADBEEF;
    EXPECT_FALSE(s->Read(&v32));
    EXPECT_EQ(v32, 0xDEADBEEFu);
    ASSERT_EQ(s->SetPos(6), 6);
    v16 = 0xBEEF;
    EXPECT_FALSE(s->Read(&v16));
    EXPECT_EQ(v16, 0xBEEFu);
    ASSERT_EQ(s->SetPos(6), 6);
    ASSERT_TRUE(s->Read(&v8));
    EXPECT_EQ(v8, 0xF7);
    EXPECT_FALSE(s->Read(&v8));

    ASSERT_EQ(s->SetPos(6), 6);
    EXPECT_EQ(s->ReadByte(), 0xF7);  // not sign-extended
    EXPECT_EQ(s->ReadByte(), -1);
}

TEST(StreamBase, SizeBySeekingKeepsThePosition) {
    Ref<ScriptedStream> s(new ScriptedStream(patternBytes(1234)));
    ASSERT_EQ(s->SetPos(77), 77);
    EXPECT_EQ(s->GetSize(), 1234u);
    lvsize_t size = 0;
    EXPECT_EQ(s->GetSize(&size), ResultOk);
    EXPECT_EQ(size, 1234u);
    EXPECT_EQ(s->GetPos(), 77);
    lvpos_t at = -1;
    EXPECT_EQ(s->Tell(&at), ResultOk);
    EXPECT_EQ(at, 77);
}

TEST(StreamChecksum, MatchesZlibAndKeepsThePosition) {
    const std::string data = patternBytes(40000, 5);  // more than two reading chunks
    MemoryStreamHandle mem = createMemoryStream(data.data(), 40000, false);
    ASSERT_EQ(mem->SetPos(123), 123);
    uint32_t crc = 0;
    EXPECT_EQ(mem->GetCrc32(&crc), ResultOk);
    EXPECT_EQ(crc, zlibCrc(data));
    EXPECT_EQ(mem->GetPos(), 123);

    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    dir.writeFile("c.bin", data);
    for (int32_t mode : {OpenModeRead, OpenModeAppend}) {
        StreamHandle file = openFileStream(dir.path("c.bin"), mode);
        ASSERT_TRUE(file);
        crc = 0;
        EXPECT_EQ(file->GetCrc32(&crc), ResultOk) << "mode " << mode;
        EXPECT_EQ(crc, zlibCrc(data));
    }
}

TEST(StreamChecksum, IsComputedOnce) {
    Ref<ScriptedStream> s(new ScriptedStream("some bytes", OpenModeRead));
    uint32_t first = 0, second = 0;
    ASSERT_EQ(s->GetCrc32(&first), ResultOk);
    int reads = s->readCalls;
    EXPECT_EQ(s->GetCrc32(&second), ResultOk);
    EXPECT_EQ(second, first);
    EXPECT_EQ(s->readCalls, reads);
}

TEST(StreamChecksum, NeedsReadOrAppendModeAndCachesNothingOtherwise) {
    for (int32_t mode : {OpenModeWrite, OpenModeReadWrite}) {
        MemoryStreamHandle s = createMemoryStream("abc", 3, true, mode);
        uint32_t crc = 99;
        EXPECT_EQ(s->GetCrc32(&crc), ResultNotImplemented) << "mode " << mode;
        EXPECT_EQ(crc, 0u);
    }
    // Once the stream can be read, the checksum works: nothing was cached or
    // marked as failed by the refused attempt.
    MemoryStreamHandle s = createMemoryStream(nullptr, 0, true, OpenModeWrite);
    ASSERT_EQ(writeString(*s, "abc"), ResultOk);
    uint32_t crc = 0;
    EXPECT_EQ(s->GetCrc32(&crc), ResultNotImplemented);
    ASSERT_EQ(s->SetMode(OpenModeRead), ResultOk);
    EXPECT_EQ(s->GetCrc32(&crc), ResultOk);
    EXPECT_EQ(crc, zlibCrc("abc"));
}

TEST(StreamChecksum, ShortReadFailsForGood) {
    Ref<ScriptedStream> s(new ScriptedStream(patternBytes(30000), OpenModeRead));
    ASSERT_EQ(s->SetPos(10), 10);
    s->readBudget = 20000;  // the second chunk falls short
    uint32_t crc = 7;
    EXPECT_EQ(s->GetCrc32(&crc), ResultFail);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(s->GetPos(), 10);

    s->readBudget = -1;  // even once reads work again, the failure stands
    int reads = s->readCalls;
    crc = 7;
    EXPECT_EQ(s->GetCrc32(&crc), ResultFail);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(s->readCalls, reads);
}

TEST(StreamFlush, ThresholdTriggersASyncedFlush) {
    Ref<ScriptedStream> s(new ScriptedStream());
    s->NoteWritten(500);  // no threshold: only counted
    EXPECT_EQ(s->syncFlushes, 0);
    EXPECT_EQ(s->bytesWrittenSinceSync(), 500u);

    s->SetFlushThreshold(100);
    s->NoteWritten(1);  // 501 > 100
    EXPECT_EQ(s->syncFlushes, 1);
    EXPECT_EQ(s->bytesWrittenSinceSync(), 0u);

    s->NoteWritten(60);
    s->NoteWritten(40);  // exactly at the threshold: not yet
    EXPECT_EQ(s->syncFlushes, 1);
    EXPECT_EQ(s->bytesWrittenSinceSync(), 100u);
    s->NoteWritten(1);
    EXPECT_EQ(s->syncFlushes, 2);
    EXPECT_EQ(s->plainFlushes, 0);

    s->NoteWritten(UINT32_MAX);  // the count cannot wrap below the threshold
    EXPECT_EQ(s->syncFlushes, 3);

    TimeLimit limit;
    EXPECT_EQ(s->Flush(false, limit), ResultOk);  // the timed form forwards
    EXPECT_EQ(s->plainFlushes, 1);
}

TEST(StreamCopy, CopiesTheWholeSourceFromItsStart) {
    const std::string data = patternBytes(12345);
    MemoryStreamHandle source = createMemoryStream(data.data(), 12345, false);
    ASSERT_EQ(source->SetPos(9000), 9000);  // copying rewinds first
    Ref<ScriptedStream> destination(new ScriptedStream());
    EXPECT_EQ(copyStreamContents(destination, source), 12345u);
    EXPECT_EQ(destination->content, data);
    EXPECT_EQ(destination->writeCalls, 3);  // chunks of at most 5000 bytes

    MemoryStreamHandle empty = createMemoryStream();
    EXPECT_EQ(copyStreamContents(destination, empty), 0u);
    EXPECT_EQ(copyStreamContents(nullptr, source), 0u);
    EXPECT_EQ(copyStreamContents(destination, nullptr), 0u);
}

TEST(StreamCopy, StopsAtTheFirstFailedOrShortTransfer) {
    struct Case {
        const char* what;
        int64_t writeBudget;
        bool failWrites;
        int64_t readBudget;
        lvsize_t copied;
        int writeCalls;
    };
    const Case cases[] = {
        {"destination fails at once", -1, true, -1, 0, 1},
        {"destination takes part of the first chunk", 3000, false, -1, 3000, 1},
        {"destination fills up in the second chunk", 7000, false, -1, 7000, 2},
        {"destination fills up exactly at a chunk end", 5000, false, -1, 5000, 2},
        {"source delivers less than its size", -1, false, 6000, 6000, 2},
    };
    const std::string data = patternBytes(12000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ref<ScriptedStream> source(new ScriptedStream(data, OpenModeRead));
        source->readBudget = c.readBudget;
        Ref<ScriptedStream> destination(new ScriptedStream());
        destination->writeBudget = c.writeBudget;
        destination->failWrites = c.failWrites;
        EXPECT_EQ(copyStreamContents(destination, source), c.copied);
        EXPECT_EQ(destination->writeCalls, c.writeCalls);
        EXPECT_EQ(destination->content, data.substr(0, c.copied));
    }
}

}  // namespace
