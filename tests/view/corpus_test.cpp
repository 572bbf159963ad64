// Every book of the shared corpus in a format the loader reads is opened
// through LVDocView, as the reader opens it: format, title and authors must
// match the manifest, and the words of the text must match an independent
// reading of the same file. Each book is opened again under a ".azw" name,
// which must change nothing.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dom/treedump.h"
#include "tests/support/corpus.h"
#include "view/lvdocview.h"

namespace {

struct Book {
    std::string path;        // relative to the corpus folder
    std::string realFormat;  // manifest description
    std::string title, authors;
};

void PrintTo(const Book& b, std::ostream* os) { *os << b.path; }

std::string corpusDir() { return testsupport::corpusDir().string(); }

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) out.push_back(cell);
    return out;
}

// What the loader does with a manifest format today: the expected format id,
// -1 for a book it must refuse with the PDB message (encrypted, HUFF/CDIC
// compression, a damaged record table), -3 for zTXT databases, which no
// reader handles (a message page), or -2 for formats whose readers are not
// part of the engine yet (EPUB, CHM, RTF, TCR).
bool has(const Book& b, const char* s) { return b.realFormat.find(s) != std::string::npos; }

int expectedFormat(const Book& b) {
    const std::string& f = b.realFormat;
    auto has = [&](const char* s) { return f.find(s) != std::string::npos; };
    if (has("DRM") || has("HUFF/CDIC") || has("corrupt index")) return -1;
    if (has("zTXT")) return -3;
    if (has("EPUB") || has("CHM") || has("RTF") || has("TCR")) return -2;
    if (has("HTML-like")) return doc_format_html;
    if (has("FictionBook") || has("ZIP holding FB2")) return doc_format_fb2;
    if (has("HTMLZ") || has("ZIP holding HTML") || has("HTML (single")) return doc_format_html;
    if (has("MOBI") || has("AZW3")) return doc_format_html;
    if (has("PDB") || has("PML") || has("TXT")) return doc_format_txt;
    return -2;
}

std::vector<Book> loadManifest() {
    std::vector<Book> books;
    std::ifstream in(corpusDir() + "/MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        auto cells = splitTabs(line);
        if (cells.size() < 10 || cells[1].find("/oracle/") != std::string::npos) continue;
        Book b{cells[1], cells[2], cells[8], cells[9]};
        if (expectedFormat(b) == -2) continue;
        books.push_back(b);
    }
    return books;
}

std::string gunzip(const std::string& path) {
    std::string out;
    testsupport::gunzipFile(path, out);
    return out;
}

// Lower-cased words of letters and digits (UTF-8 kept as is).
std::vector<std::string> words(const std::string& raw) {
    // A no-break space separates words like a space.
    std::string text = raw;
    for (size_t p = text.find("\xC2\xA0"); p != std::string::npos; p = text.find("\xC2\xA0", p))
        text.replace(p, 2, " ");
    std::vector<std::string> out;
    std::string w;
    for (unsigned char c : text) {
        if (c >= 0x80 || isalnum(c)) {
            w.push_back(static_cast<char>(c < 0x80 ? tolower(c) : c));
        } else if (!w.empty()) {
            out.push_back(w);
            w.clear();
        }
    }
    if (!w.empty()) out.push_back(w);
    return out;
}

// Share of the words of a found in b, counting repeats.
double coverage(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.empty()) return 1.0;
    std::map<std::string, int> have;
    for (const auto& w : b) ++have[w];
    size_t hit = 0;
    for (const auto& w : a) {
        auto it = have.find(w);
        if (it != have.end() && it->second > 0) {
            --it->second;
            ++hit;
        }
    }
    return static_cast<double>(hit) / static_cast<double>(a.size());
}

std::string prop(LVDocView& v, const char* name) {
    return encodeUtf8(v.getDocProps()->getStringOr(name, "")).c_str();
}

class CorpusBook : public testing::TestWithParam<Book> {};

TEST_P(CorpusBook, LoadsWithItsMetadataAndText) {
    const Book& b = GetParam();
    std::string file = corpusDir() + "/" + b.path;
    int format = expectedFormat(b);

    LVDocViewHandle view(new LVDocView());
    bool ok = view->LoadDocument(localToWide(file.c_str()));
    if (format == -1 || format == -3) {
        EXPECT_FALSE(ok);
        EXPECT_NE(view->getDocument(), nullptr) << "a message page is shown";
        if (format == -1) {
            EXPECT_EQ(encodeUtf8(view->getLoadErrorMessage()), "ERROR: Error reading PDB format");
        }
        return;
    }
    ASSERT_TRUE(ok) << encodeUtf8(view->getLoadErrorMessage()).c_str();
    EXPECT_EQ(view->getDocFormat(), format);
    // Metadata the formats do not carry where the loader reads: eReader books
    // keep it in a record outside the text, TXTZ/HTMLZ archives in an OPF
    // file beside the text, PalmDOC and plain text have none (a text book is
    // titled by its file name).
    bool ownMetadata = !has(b, "eReader") && !has(b, "TXTZ") && !has(b, "HTMLZ") &&
                       !has(b, "PalmDOC") && !has(b, "TXT") && !has(b, "PML");
    if (b.title != "-" && ownMetadata) {
        EXPECT_EQ(prop(*view, "doc.title"), b.title);
    }
    if (b.authors != "-" && ownMetadata) {
        EXPECT_EQ(prop(*view, "doc.authors"), b.authors);
    }
    if (has(b, "HTMLZ")) {
        EXPECT_EQ(prop(*view, "doc.title"), b.title) << "the HTML head names the book";
    }

    std::string text = encodeUtf8(dumpDocumentText(view->getDocument())).c_str();
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "U+FFFD in the text";
    std::string oracle = gunzip(corpusDir() + "/" + b.path.substr(0, b.path.find('/')) +
                                "/oracle/" + b.path.substr(b.path.find('/') + 1) +
                                ".calibre.txt.gz");
    if (!oracle.empty()) {
        auto ours = words(text), theirs = words(oracle);
        double recall = coverage(theirs, ours), precision = coverage(ours, theirs);
        RecordProperty("recall", std::to_string(recall));
        RecordProperty("precision", std::to_string(precision));
        // The independent reading adds a generated table of contents and
        // metadata lines; our reading adds the description's title and
        // authors. Everything else must be the same words.
        EXPECT_GE(recall, 0.95) << "words of the reference missing from our text";
        EXPECT_GE(precision, 0.95) << "words of our text missing from the reference";
    }

    // The same bytes under a ".azw" name load the same.
    char tmpl[] = "/tmp/vellumo-corpus-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string copy = std::string(tmpl) + "/book.azw";
    {
        std::ifstream src(file, std::ios::binary);
        std::ofstream dst(copy, std::ios::binary);
        dst << src.rdbuf();
    }
    LVDocViewHandle again(new LVDocView());
    EXPECT_TRUE(again->LoadDocument(localToWide(copy.c_str())));
    EXPECT_EQ(again->getDocFormat(), view->getDocFormat());
    std::string base = b.path.substr(b.path.rfind('/') + 1);
    base = base.substr(0, base.rfind('.'));
    if (prop(*view, "doc.title") == base) {
        EXPECT_EQ(prop(*again, "doc.title"), "book");  // titled by its file name
    } else {
        EXPECT_EQ(prop(*again, "doc.title"), prop(*view, "doc.title"));
    }
    EXPECT_EQ(encodeUtf8(dumpDocumentText(again->getDocument())).c_str(), text);
    unlink(copy.c_str());
    rmdir(tmpl);
}

std::string testName(const testing::TestParamInfo<Book>& info) {
    std::string n;
    for (char c : info.param.path) n.push_back(isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return n;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusBook, testing::ValuesIn(loadManifest()), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusBook);

}  // namespace
