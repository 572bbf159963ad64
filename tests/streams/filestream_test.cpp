#include "streams/filestream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "stream_test_support.h"

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    TempFolder dir;
};

TEST_F(FileStreamTest, ReadModeNeedsAnExistingRegularFile) {
    dir.writeFile("book.txt", "content");
    std::filesystem::create_directory(dir.native("folder"));

    EXPECT_TRUE(openFileStream(dir.path("missing.txt"), OpenModeRead).isNull());
    EXPECT_TRUE(openFileStream(dir.path("folder"), OpenModeRead).isNull());
    EXPECT_TRUE(openFileStream(dir.path("folder"), OpenModeReadWrite).isNull());
    EXPECT_TRUE(openFileStream(LVString16(), OpenModeRead).isNull());

    EXPECT_TRUE(fileExists(dir.path("book.txt")));
    EXPECT_FALSE(fileExists(dir.path("missing.txt")));
    EXPECT_FALSE(fileExists(dir.path("folder")));
}

TEST_F(FileStreamTest, WrittenBytesReadBack) {
    const std::string data = patternBytes(70000);
    {
        StreamHandle out = openFileStream(dir.path("out.bin"), OpenModeWrite);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->GetMode(), OpenModeWrite);
        EXPECT_EQ(writeString(*out, data.substr(0, 1000)), ResultOk);
        EXPECT_EQ(writeString(*out, data.substr(1000)), ResultOk);
        EXPECT_EQ(out->GetSize(), data.size());
        char byte;
        lvsize_t got = 7;
        EXPECT_EQ(out->Read(&byte, 1, &got), ResultFail);  // write mode cannot read
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(out->Flush(true), ResultOk);
    }
    EXPECT_EQ(dir.readFile("out.bin"), data);

    StreamHandle in = openFileStream(dir.path("out.bin"), OpenModeRead);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->GetSize(), data.size());
    EXPECT_FALSE(in->Eof());
    EXPECT_EQ(readRest(*in), data);
    EXPECT_TRUE(in->Eof());
    EXPECT_EQ(writeString(*in, "x"), ResultFail);  // read mode cannot write
    EXPECT_EQ(dir.readFile("out.bin"), data);
}

TEST_F(FileStreamTest, WriteModeTruncatesAnExistingFile) {
    dir.writeFile("f.txt", "old content that is long");
    StreamHandle out = openFileStream(dir.path("f.txt"), OpenModeWrite);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->GetSize(), 0u);
    EXPECT_EQ(writeString(*out, "new"), ResultOk);
    out.reset();
    EXPECT_EQ(dir.readFile("f.txt"), "new");
}

TEST_F(FileStreamTest, AppendModeCreatesTheFileAndStartsAtTheEnd) {
    StreamHandle fresh = openFileStream(dir.path("new.log"), OpenModeAppend);
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.native("new.log")));
    EXPECT_EQ(fresh->GetPos(), 0);
    EXPECT_EQ(fresh->GetSize(), 0u);
    fresh.reset();

    dir.writeFile("old.log", "hello");
    StreamHandle log = openFileStream(dir.path("old.log"), OpenModeAppend);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->GetMode(), OpenModeAppend);
    EXPECT_EQ(log->GetPos(), 5);
    EXPECT_EQ(writeString(*log, " world"), ResultOk);
    EXPECT_EQ(log->GetSize(), 11u);
    EXPECT_EQ(readAt(*log, 0, 100), "hello world");  // append mode also reads
    log.reset();
    EXPECT_EQ(dir.readFile("old.log"), "hello world");
}

TEST_F(FileStreamTest, ReadWriteModeKeepsTheContent) {
    dir.writeFile("rw.bin", "0123456789");
    StreamHandle s = openFileStream(dir.path("rw.bin"), OpenModeReadWrite);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetPos(), 0);
    ASSERT_EQ(s->SetPos(4), 4);
    EXPECT_EQ(writeString(*s, "ab"), ResultOk);
    EXPECT_EQ(readAt(*s, 0, 100), "0123ab6789");
}

// Modes 0 and 1 are programming errors that end the process; 6 and 7 simply fail.
TEST_F(FileStreamTest, InvalidModes) {
    dir.writeFile("f.txt", "x");
    EXPECT_EXIT(openFileStream(dir.path("f.txt"), OpenModeError), testing::ExitedWithCode(255),
                "FATAL ERROR #-1: Unknown fatal error");
    EXPECT_EXIT(openFileStream(dir.path("f.txt"), OpenModeClosed), testing::ExitedWithCode(255),
                "FATAL ERROR #-1: Unknown fatal error");
    EXPECT_TRUE(openFileStream(dir.path("f.txt"), 6).isNull());
    EXPECT_TRUE(openFileStream(dir.path("f.txt"), 7).isNull());
    EXPECT_TRUE(openFileStream(dir.path("g.txt"), 6).isNull());
    EXPECT_FALSE(std::filesystem::exists(dir.native("g.txt")));  // nothing was created
}

TEST_F(FileStreamTest, SeekTargets) {
    const SeekCase cases[] = {
        {3, SeekFromStart, 3},
        {0, SeekFromStart, 0},
        {2, SeekFromCurrent, 6},
        {-4, SeekFromCurrent, 0},
        {-1, SeekFromEnd, 9},
        {5, SeekFromEnd, 15},  // past the end, as files allow
        {3, 7, 3},             // an unknown origin counts as the start
        {-1, SeekFromStart, -1},
        {-5, SeekFromCurrent, -1},
        {-11, SeekFromEnd, -1},
        {INT32_MAX, SeekFromCurrent, -1},  // would pass 2^31 - 1
        {INT32_MIN, SeekFromEnd, -1},
    };
    dir.writeFile("ten.bin", "0123456789");
    StreamHandle s = openFileStream(dir.path("ten.bin"), OpenModeRead);
    ASSERT_TRUE(s);
    expectSeeks(*s, cases);
}

TEST_F(FileStreamTest, ReadAtOrPastTheEndGivesNothing) {
    dir.writeFile("ten.bin", "0123456789");
    StreamHandle s = openFileStream(dir.path("ten.bin"), OpenModeRead);
    ASSERT_TRUE(s);
    for (lvpos_t position : {10, 11, 4000}) {
        ASSERT_EQ(s->SetPos(position), position);
        char buf[8];
        lvsize_t got = 99;
        EXPECT_EQ(s->Read(buf, sizeof buf, &got), ResultOk);
        EXPECT_EQ(got, 0u);
        EXPECT_TRUE(s->Eof());
        EXPECT_EQ(s->ReadByte(), -1);
    }
    // A count far beyond the data delivers only the data.
    std::string big(64, '\0');
    lvsize_t got = 0;
    ASSERT_EQ(s->SetPos(7), 7);
    EXPECT_EQ(s->Read(big.data(), UINT32_MAX, &got), ResultOk);
    EXPECT_EQ(big.substr(0, got), "789");
}

TEST_F(FileStreamTest, SetSizeCutsAndExtendsButKeepsThePosition) {
    dir.writeFile("s.bin", "0123456789");
    StreamHandle s = openFileStream(dir.path("s.bin"), OpenModeReadWrite);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->SetPos(8), 8);
    EXPECT_EQ(s->SetSize(4), ResultOk);
    EXPECT_EQ(s->GetPos(), 8);
    EXPECT_EQ(std::filesystem::file_size(dir.native("s.bin")), 4u);
    EXPECT_EQ(s->SetSize(6), ResultOk);
    EXPECT_EQ(dir.readFile("s.bin"), std::string("0123\0\0", 6));

    StreamHandle ro = openFileStream(dir.path("s.bin"), OpenModeRead);
    ASSERT_TRUE(ro);
    EXPECT_EQ(ro->SetSize(2), ResultFail);
    EXPECT_EQ(std::filesystem::file_size(dir.native("s.bin")), 6u);
}

TEST_F(FileStreamTest, WritingPastTheEndGrowsTheFile) {
    StreamHandle s = openFileStream(dir.path("gap.bin"), OpenModeReadWrite);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->SetPos(3), 3);
    EXPECT_EQ(writeString(*s, "xy"), ResultOk);
    EXPECT_EQ(s->GetSize(), 5u);
    EXPECT_EQ(dir.readFile("gap.bin"), std::string("\0\0\0xy", 5));
}

TEST_F(FileStreamTest, ClosedStreamRefusesEverything) {
    Ref<LVFileStream> s(new LVFileStream());
    char buf[4];
    lvsize_t n = 0;
    EXPECT_EQ(s->GetMode(), OpenModeClosed);
    EXPECT_EQ(s->Read(buf, sizeof buf, &n), ResultFail);
    EXPECT_EQ(s->Write(buf, sizeof buf, &n), ResultFail);
    EXPECT_EQ(s->Seek(0, SeekFromStart, nullptr), ResultFail);
    EXPECT_EQ(s->SetSize(0), ResultFail);
    EXPECT_EQ(s->Flush(false), ResultFail);
    EXPECT_EQ(s->GetSize(), 0u);
    // A failed open leaves it closed but named.
    EXPECT_EQ(s->open(dir.path("missing"), OpenModeRead), ResultFail);
    EXPECT_EQ(s->GetMode(), OpenModeClosed);
    EXPECT_EQ(s->fileNamePart(), "missing");
}

TEST_F(FileStreamTest, NonAsciiNameRoundTrip) {
    // Cyrillic, an accented letter and a character outside the 16-bit range.
    const std::string name =
        "\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0-caf\xC3\xA9-\xF0\x9F\x93\x96.txt";
    const LVString16 path = dir.path(name);
    StreamHandle out = openFileStream(path, OpenModeWrite);
    ASSERT_TRUE(out);
    EXPECT_EQ(writeString(*out, "text"), ResultOk);
    out.reset();

    struct stat st;
    ASSERT_EQ(::stat(dir.native(name).c_str(), &st), 0) << "the system sees the UTF-8 name";
    EXPECT_EQ(st.st_size, 4);
    EXPECT_TRUE(fileExists(path));
    StreamHandle in = openFileStream(path, OpenModeRead);
    ASSERT_TRUE(in);
    EXPECT_EQ(readRest(*in), "text");
    EXPECT_EQ(in->GetName(), path);
    in.reset();

    EXPECT_TRUE(deleteFile(path));
    EXPECT_FALSE(fileExists(path));
    EXPECT_FALSE(deleteFile(path));
}

TEST_F(FileStreamTest, FlushThresholdSyncsAfterEnoughWrites) {
    StreamHandle s = openFileStream(dir.path("t.bin"), OpenModeWrite);
    ASSERT_TRUE(s);
    auto* named = static_cast<LVNamedStream*>(s.get());
    s->SetFlushThreshold(100);
    EXPECT_EQ(writeString(*s, std::string(60, 'a')), ResultOk);
    EXPECT_EQ(named->bytesWrittenSinceSync(), 60u);
    EXPECT_EQ(writeString(*s, std::string(60, 'b')), ResultOk);
    EXPECT_EQ(named->bytesWrittenSinceSync(), 0u);  // passed 100: synced and restarted
}

}  // namespace
