// Real books: every character of their text reaches the parser events, as an
// independent converter's plain-text rendering of the same files shows.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats_test_support.h"
#include "tests/support/corpus.h"
#include "streams/filestream.h"

namespace {

namespace fs = std::filesystem;

fs::path corpusFolder() { return testsupport::corpusDir(); }

std::string gunzip(const fs::path& path) {
    std::string out;
    testsupport::gunzipFile(path, out);
    return out;
}

// White space, including the no-break and typographic spaces that the
// converter writes as plain ones.
bool isSpace(uint32_t c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// text without white space, as UTF-8.
std::string packed(const lvchar16* text, size_t length) {
    std::u16string kept;
    for (size_t i = 0; i < length; ++i)
        if (!isSpace(text[i])) kept += text[i];
    return encodeUtf8(reinterpret_cast<const lvchar16*>(kept.data()), kept.size()).c_str();
}

// The converter's text without white space and without the "* * *" lines
// it puts between sections.
std::string oracleText(const std::string& raw) {
    std::string out;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t end = raw.find('\n', pos);
        if (end == std::string::npos) end = raw.size();
        const LVString16 line = decodeUtf8(raw.data() + pos, end - pos);
        const std::string kept = packed(line.c_str(), static_cast<size_t>(line.length()));
        if (kept != "***") out += kept;
        pos = end + 1;
    }
    return out;
}

// Collects the text of the events outside metadata, scripts, styles and
// binary objects, without white space.
class TextCollector : public LVEventLog {
public:
    std::string text;
    ldomNode* OnTagOpen(const lvchar16*, const lvchar16* name) override {
        if (skipped(name)) ++skip_;
        return nullptr;
    }
    void OnTagClose(const lvchar16*, const lvchar16* name) override {
        if (skipped(name) && skip_ > 0) --skip_;
    }
    void OnTagBody() override {}
    void OnAttribute(const lvchar16*, const lvchar16*, const lvchar16*) override {}
    void OnText(const lvchar16* t, int32_t length, uint32_t) override {
        if (!skip_) text += packed(t, static_cast<size_t>(length));
    }

private:
    static bool skipped(const lvchar16* name) {
        const std::u16string n(name);
        return n == u"binary" || n == u"description" || n == u"head" || n == u"style" ||
               n == u"script";
    }
    int skip_ = 0;
};

std::string firstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    const size_t from = i > 40 ? i - 40 : 0;
    return "at byte " + std::to_string(i) + ":\n  parsed: " + a.substr(from, 100) +
           "\n  oracle: " + b.substr(from, 100);
}

TEST(Corpus, EveryCharacterOfRealBooks) {
    const fs::path corpus = corpusFolder();
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int books = 0;
    for (const auto& dir : fs::directory_iterator(corpus)) {
        if (!dir.is_directory()) continue;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const fs::path path = entry.path();
            const std::string ext = path.extension().string();
            if (ext != ".fb2" && ext != ".html" && ext != ".xhtml") continue;
            const fs::path oracle =
                dir.path() / "oracle" / (path.filename().string() + ".calibre.txt.gz");
            if (!fs::exists(oracle)) continue;
            SCOPED_TRACE(path.string());
            StreamHandle stream = openFileStream(localToWide(path.c_str()), OpenModeRead);
            ASSERT_TRUE(stream);
            TextCollector collector;
            auto parser = makeParser(ext == ".fb2" ? ParserKind::Fb2 : ParserKind::Html, stream,
                                     &collector);
            ASSERT_TRUE(parser->CheckFormat());
            ASSERT_TRUE(parser->Parse());
            const std::string expected = oracleText(gunzip(oracle));
            ASSERT_FALSE(expected.empty());
            EXPECT_TRUE(collector.text == expected) << firstDifference(collector.text, expected);
            ++books;
        }
    }
    EXPECT_GE(books, 7);
}

}  // namespace
