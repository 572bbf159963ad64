// Helpers shared by the stream tests: a scratch folder, byte patterns and a
// scripted stream whose reads and writes can be made to fall short.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "streams/stream.h"

// Lets test failures show engine strings as UTF-8 text.
inline void PrintTo(const LVString16& s, std::ostream* os) {
    *os << '"' << encodeUtf8(s).c_str() << '"';
}

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes away.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellumo-streams-XXXXXX");
        char* made = mkdtemp(pattern.data());
        if (made) path_ = made;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    // The UTF-8 path of an entry of the folder.
    std::string native(const std::string& name) const { return path_ + "/" + name; }
    // The same path as the engine takes it.
    LVString16 path(const std::string& name) const { return localToWide(native(name).c_str()); }

    void writeFile(const std::string& name, const std::string& bytes) const {
        std::ofstream out(native(name), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string readFile(const std::string& name) const {
        std::ifstream in(native(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

// n bytes that differ from their neighbours and repeat only every 251 bytes,
// so that a read from the wrong offset shows.
inline std::string patternBytes(size_t n, unsigned seed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i + seed) % 251);
    return s;
}

// Reads from the current position until a read delivers nothing.
inline std::string readRest(LVStream& stream) {
    std::string out;
    char chunk[1000];
    for (;;) {
        lvsize_t got = 0;
        if (stream.Read(chunk, sizeof chunk, &got) != ResultOk || got == 0) break;
        out.append(chunk, got);
    }
    return out;
}

inline std::string readAt(LVStream& stream, lvpos_t position, lvsize_t count) {
    std::string out(count, '\0');
    lvsize_t got = 0;
    if (stream.SetPos(position) != position || stream.Read(out.data(), count, &got) != ResultOk) {
        return "<read failed>";
    }
    out.resize(got);
    return out;
}

inline LVResult writeString(LVStream& stream, const std::string& bytes) {
    lvsize_t written = 0;
    LVResult result = stream.Write(bytes.data(), static_cast<lvsize_t>(bytes.size()), &written);
    return written == bytes.size() ? result : ResultFail;
}

// A stream over a std::string. It relies on the base behaviour of LVStream for
// everything it does not script (GetSize in particular), and it counts calls.
class ScriptedStream : public LVNamedStream {
public:
    using LVNamedStream::Flush;
    using LVNamedStream::Read;

    explicit ScriptedStream(std::string initial = {}, int32_t mode = OpenModeReadWrite)
        : content(std::move(initial)) {
        setOpenMode(mode);
    }

    std::string content;
    int64_t readBudget = -1;   // bytes all reads together may still deliver; -1 = no limit
    int64_t writeBudget = -1;  // bytes all writes together may still take; -1 = no limit
    bool failWrites = false;
    int readCalls = 0;
    int writeCalls = 0;
    int syncFlushes = 0;
    int plainFlushes = 0;

    LVResult SetMode(int32_t mode) override {
        setOpenMode(mode);
        return ResultOk;
    }
    LVResult Flush(bool sync) override {
        ++(sync ? syncFlushes : plainFlushes);
        return ResultOk;
    }
    LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) override {
        int64_t base = origin == SeekFromCurrent ? pos_
                       : origin == SeekFromEnd   ? static_cast<int64_t>(content.size())
                                                 : 0;
        int64_t target = base + offset;
        if (target < 0 || target > static_cast<int64_t>(content.size())) return ResultFail;
        pos_ = static_cast<lvpos_t>(target);
        if (newPosition) *newPosition = pos_;
        return ResultOk;
    }
    LVResult SetSize(lvsize_t size) override {
        content.resize(size);
        pos_ = std::min<lvpos_t>(pos_, static_cast<lvpos_t>(size));
        return ResultOk;
    }
    LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) override {
        ++readCalls;
        int64_t n = std::min<int64_t>(count, static_cast<int64_t>(content.size()) - pos_);
        if (readBudget >= 0) n = std::min(n, readBudget);
        if (n > 0) {
            std::memcpy(buffer, content.data() + pos_, static_cast<size_t>(n));
            pos_ += static_cast<lvpos_t>(n);
            if (readBudget >= 0) readBudget -= n;
        }
        if (bytesRead) *bytesRead = static_cast<lvsize_t>(std::max<int64_t>(n, 0));
        return ResultOk;
    }
    LVResult Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) override {
        ++writeCalls;
        if (bytesWritten) *bytesWritten = 0;
        if (failWrites) return ResultFail;
        int64_t n = count;
        if (writeBudget >= 0) n = std::min(n, writeBudget);
        if (static_cast<size_t>(pos_ + n) > content.size()) content.resize(pos_ + n);
        std::memcpy(content.data() + pos_, buffer, static_cast<size_t>(n));
        pos_ += static_cast<lvpos_t>(n);
        if (writeBudget >= 0) writeBudget -= n;
        if (bytesWritten) *bytesWritten = static_cast<lvsize_t>(n);
        return n == count ? ResultOk : ResultFail;
    }
    bool Eof() override { return static_cast<size_t>(pos_) >= content.size(); }

private:
    lvpos_t pos_ = 0;
};

// One seek from position 4 of a stream holding "0123456789".
struct SeekCase {
    lvpos_t offset;
    int32_t origin;
    lvpos_t expected;  // -1: the seek fails and the position stays at 4
};

// Runs every case from position 4: a failed seek reports failure and leaves
// the position (and what is read there) unchanged; a good one reports and
// takes the expected position.
template <size_t N>
void expectSeeks(LVStream& s, const SeekCase (&cases)[N]) {
    for (const SeekCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " origin " << c.origin);
        ASSERT_EQ(s.SetPos(4), 4);
        lvpos_t reported = -2;
        LVResult result = s.Seek(c.offset, c.origin, &reported);
        if (c.expected < 0) {
            EXPECT_EQ(result, ResultFail);
            EXPECT_EQ(s.GetPos(), 4);
            EXPECT_EQ(readAt(s, s.GetPos(), 1), "4");
        } else {
            EXPECT_EQ(result, ResultOk);
            EXPECT_EQ(reported, c.expected);
            EXPECT_EQ(s.GetPos(), c.expected);
        }
    }
}
