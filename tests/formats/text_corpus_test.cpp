// Real text books: every plain-text and PML file of the corpus, in each of
// its encodings, imports to a document whose body has the same words as its
// UTF-8 reading (the UTF-8 file itself, the re-encoded copy read back by
// iconv, or an independent converter's plain text of the PML file).
//
// The import changes the text on purpose in two ways, which the comparison
// allows for: a line made only of '*', '-' or '=' becomes "* * *", and a
// word hyphenated at the end of a line inside a joined paragraph is joined
// ("hyphen-" "ated" reads "hyphenated"). The converter writes a PML rule
// (an hr element here) as "* * *".
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/corpus.h"
#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/writer.h"
#include "formats/textparser.h"
#include "streams/filestream.h"

namespace {

namespace fs = std::filesystem;

fs::path corpusFolder() { return testsupport::corpusDir(); }

std::string readAll(const fs::path& path) {
    std::string out;
    gzFile f = gzopen(path.c_str(), "rb");  // reads plain files as they are
    if (!f) return out;
    char buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    gzclose(f);
    return out;
}

bool isSpace(uint32_t c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

void splitWords(const std::u16string& text, std::vector<std::u16string>& words) {
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i])) ++i;
        const size_t start = i;
        while (i < text.size() && !isSpace(text[i])) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
}

// The oracle's words; separator lines read as the import writes them.
std::vector<std::u16string> oracleWords(const std::string& utf8) {
    std::vector<std::u16string> words;
    size_t pos = 0;
    while (pos < utf8.size()) {
        size_t end = utf8.find('\n', pos);
        if (end == std::string::npos) end = utf8.size();
        const LVString16 decoded = decodeUtf8(utf8.data() + pos, end - pos);
        std::u16string line(decoded.c_str(), static_cast<size_t>(decoded.length()));
        std::u16string kept;
        for (char16_t c : line)
            if (!isSpace(c)) kept += c;
        const bool separator =
            !kept.empty() && (kept.find_first_not_of(u'*') == std::u16string::npos ||
                              kept.find_first_not_of(u'-') == std::u16string::npos ||
                              kept.find_first_not_of(u'=') == std::u16string::npos);
        if (separator)
            words.insert(words.end(), 3, u"*");
        else
            splitWords(line, words);
        pos = end + 1;
    }
    return words;
}

// Elements inside a paragraph, which do not separate words.
bool isInline(std::u16string_view name) {
    return name == u"b" || name == u"i" || name == u"u" || name == u"a" ||
           name == u"strikethrough" || name == u"strong" || name == u"img";
}

// The text of a subtree, blocks separated by a space.
void collectText(const ldomNode* node, std::u16string& out) {
    if (node->isText()) {
        const LVString16 t = node->getText();
        out.append(t.c_str(), static_cast<size_t>(t.length()));
        return;
    }
    const LVString16 name = node->getNodeName();
    const std::u16string_view n(name.c_str(), static_cast<size_t>(name.length()));
    const bool block = !isInline(n);
    if (block) out += u' ';
    // The converter writes a rule as a "* * *" line.
    if (n == u"hr") out += u"* * * ";
    for (int i = 0; i < node->getChildCount(); ++i) collectText(node->getChildNode(i), out);
    if (block) out += u' ';
}

// The body of the document the writer built.
const ldomNode* findBody(const ldomNode* node) {
    if (!node->isText() && node->getNodeName() == "body") return node;
    for (int i = 0; !node->isText() && i < node->getChildCount(); ++i)
        if (const ldomNode* body = findBody(node->getChildNode(i))) return body;
    return nullptr;
}

std::string utf8(const std::u16string& s) {
    return encodeUtf8(reinterpret_cast<const lvchar16*>(s.data()), s.size()).c_str();
}

std::string context(const std::vector<std::u16string>& w, size_t at) {
    std::string out;
    for (size_t k = at; k < w.size() && k < at + 8; ++k) out += utf8(w[k]) + " ";
    return out;
}

// Empty when the imported words match the oracle's, allowing for words
// joined across a line-end hyphen; otherwise where they part.
std::string compareWords(const std::vector<std::u16string>& got,
                         const std::vector<std::u16string>& want) {
    size_t i = 0, k = 0;
    while (i < got.size() && k < want.size()) {
        if (got[i] == want[k]) {
            ++i;
            ++k;
            continue;
        }
        const std::u16string& w = want[k];
        if (k + 1 < want.size() && w.size() > 1 && w.back() == u'-' &&
            got[i] == w.substr(0, w.size() - 1) + want[k + 1]) {
            ++i;
            k += 2;
            continue;
        }
        break;
    }
    if (i == got.size() && k == want.size()) return "";
    return "word " + std::to_string(i) + " of " + std::to_string(got.size()) + ": imported \"" +
           context(got, i) + "\", expected word " + std::to_string(k) + " of " +
           std::to_string(want.size()) + ": \"" + context(want, k) + "\"";
}

struct Case {
    fs::path book;
    fs::path oracle;
};

// Every text book with the UTF-8 text it must give.
std::vector<Case> textBooks() {
    std::vector<Case> cases;
    const fs::path root = corpusFolder();
    std::error_code ec;
    if (!fs::is_directory(root, ec)) return cases;
    for (const auto& dir : fs::directory_iterator(root, ec)) {
        if (!dir.is_directory()) continue;
        const std::string id = dir.path().filename().string();
        for (const auto& entry : fs::directory_iterator(dir.path(), ec)) {
            const std::string name = entry.path().filename().string();
            const fs::path oracleDir = dir.path() / "oracle";
            auto endsWith = [&](const char* suffix) {
                const std::string s(suffix);
                return name.size() >= s.size() &&
                       name.compare(name.size() - s.size(), s.size(), s) == 0;
            };
            if (endsWith(".pml")) {
                // The converter's plain text of it: oracle/NAME.<tool>.txt.gz.
                for (const auto& o : fs::directory_iterator(oracleDir, ec)) {
                    const std::string on = o.path().filename().string();
                    if (on.rfind(name + ".", 0) == 0 && on.size() > name.size() + 7 &&
                        on.compare(on.size() - 7, 7, ".txt.gz") == 0)
                        cases.push_back({entry.path(), o.path()});
                }
                continue;
            }
            if (!endsWith(".txt")) continue;
            const fs::path own = oracleDir / (name + ".utf8.txt.gz");
            const fs::path utf8Text = dir.path() / (id + ".txt");
            if (fs::exists(own))
                cases.push_back({entry.path(), own});
            else if (endsWith(".cp1252.txt") || endsWith(".cp1251.txt") || endsWith(".koi8r.txt") ||
                     endsWith(".utf16le.txt"))
                cases.push_back({entry.path(), utf8Text});
            else
                cases.push_back({entry.path(), entry.path()});  // UTF-8 already
        }
    }
    return cases;
}

TEST(TextCorpus, EveryTextBookGivesTheWordsOfItsUtf8Reading) {
    const std::vector<Case> cases = textBooks();
    if (cases.empty()) GTEST_SKIP() << "no corpus at " << corpusFolder();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.book.filename().string());
        StreamHandle stream = openFileStream(LVString16(c.book.c_str()), OpenModeRead);
        ASSERT_TRUE(stream);
        Ref<ldomDocument> doc = ldomDocument::create();
        ldomDocumentWriter writer(doc.get());
        LVTextParser parser(stream, &writer, false);
        ASSERT_TRUE(parser.CheckFormat());
        ASSERT_TRUE(parser.Parse());
        const ldomNode* body = findBody(doc->getRootNode());
        ASSERT_NE(body, nullptr);
        std::u16string text;
        collectText(body, text);
        std::vector<std::u16string> got;
        splitWords(text, got);
        const std::vector<std::u16string> want = oracleWords(readAll(c.oracle));
        ASSERT_FALSE(want.empty()) << c.oracle;
        EXPECT_EQ(compareWords(got, want), "") << "flags " << std::hex << parser.formatFlags();
    }
}

}  // namespace
