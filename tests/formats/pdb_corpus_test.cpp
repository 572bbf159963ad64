// The Palm database reader against the shared corpus of real books and the
// third-party oracles made from them: the decoded text must equal the
// decompressed records the oracles hold byte for byte, the metadata must
// agree with the metadata oracle, images must open, and the books the
// reader refuses (encrypted, HUFF/CDIC, zTXT, a corrupt record 0) must fail
// to open. Skipped when the corpus is not there.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "tests/support/corpus.h"
#include "dom/ldomdocument.h"
#include "dom/treedump.h"
#include "formats/pdbimport.h"
#include "foundation/lvstring.h"
#include "streams/filestream.h"

namespace fs = std::filesystem;

namespace {

fs::path corpusDir() { return testsupport::corpusDir(); }

struct Book {
    fs::path path;
    std::string realFormat;
};

// The PDB, MOBI and AZW3 files of the manifest with their real format.
std::vector<Book> corpusBooks() {
    std::vector<Book> books;
    std::ifstream in(corpusDir() / "MANIFEST.tsv");
    std::string line;
    std::map<std::string, bool> seen;
    while (std::getline(in, line)) {
        std::vector<std::string> col;
        std::stringstream ss(line);
        std::string c;
        while (std::getline(ss, c, '\t')) col.push_back(c);
        if (col.size() < 3 || col[1].find("/oracle/") != std::string::npos || seen[col[1]])
            continue;
        const std::string& f = col[2];
        if (f.rfind("PDB", 0) == 0 || f.rfind("MOBI", 0) == 0 || f.rfind("AZW3", 0) == 0) {
            seen[col[1]] = true;
            books.push_back({corpusDir() / col[1], f});
        }
    }
    return books;
}

// Formats the reader refuses: encrypted and HUFF/CDIC books, zTXT databases
// (not a kind it reads) and the sample whose record 0 gives a text record
// count beyond its record table.
bool refused(const Book& b) {
    for (const char* word : {"DRM", "HUFF/CDIC", "zTXT", "corrupt"})
        if (b.realFormat.find(word) != std::string::npos) return true;
    return false;
}

bool gunzip(const fs::path& p, std::string& out) { return testsupport::gunzipFile(p, out); }

std::string oraclePath(const Book& b, const char* suffix) {
    return (b.path.parent_path() / "oracle" / (b.path.filename().string() + suffix)).string();
}

// The decompressed text an oracle holds for a book: the MOBI 6 part of joint
// files, the raw markup of the others, the PalmDOC bytes, the eReader PML.
bool oracleText(const Book& b, std::string& out) {
    for (const char* s : {".kf7.rawml.gz", ".rawml.gz", ".txt2pdbdoc-d.txt.gz", ".pml.gz"})
        if (fs::exists(oraclePath(b, s))) return gunzip(oraclePath(b, s), out);
    return false;
}

// A minimal reader of the metadata oracle: top-level string fields and the
// authors array (JSON escapes \" \\ \/ \n and \uXXXX).
std::string jsonString(const std::string& j, size_t& i) {
    std::string out;
    for (++i; i < j.size() && j[i] != '"'; ++i) {
        if (j[i] != '\\' || i + 1 >= j.size()) {
            out += j[i];
            continue;
        }
        char e = j[++i];
        if (e == 'n') {
            out += '\n';
        } else if (e == 'u' && i + 4 < j.size()) {
            lvchar16 c = static_cast<lvchar16>(std::stoul(j.substr(i + 1, 4), nullptr, 16));
            out += encodeUtf8(&c, 1).c_str();
            i += 4;
        } else {
            out += e;
        }
    }
    ++i;
    return out;
}

std::map<std::string, std::string> readMeta(const std::string& path) {
    std::ifstream in(path);
    std::string j((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::map<std::string, std::string> m;
    for (const char* key : {"title", "publisher", "isbn", "pubdate", "rights", "contributor"}) {
        size_t at = j.find(std::string("\"") + key + "\": ");
        if (at == std::string::npos) continue;
        size_t i = at + std::string(key).size() + 4;
        if (j[i] == '"') m[key] = jsonString(j, i);
    }
    size_t at = j.find("\"authors\": [");
    if (at != std::string::npos) {
        std::string all;
        size_t i = j.find('"', at + 11);
        size_t end = j.find(']', at);
        while (i < end) {
            std::string a = jsonString(j, i);
            all += (all.empty() ? "" : " & ") + a;
            i = j.find('"', i);
        }
        m["authors"] = all;
    }
    m["has_cover"] = j.find("\"has_cover\": true") != std::string::npos ? "1" : "0";
    return m;
}

std::string readAll(LVStream* s) {
    std::string out;
    std::vector<char> buf(65536);
    s->SetPos(0);
    for (;;) {
        lvsize_t got = 0;
        if (s->Read(buf.data(), static_cast<lvsize_t>(buf.size()), &got) != ResultOk)
            return out + "<READ FAILED>";
        if (got == 0) break;
        out.append(buf.data(), got);
    }
    return out;
}

class PdbCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(corpusDir() / "MANIFEST.tsv"))
            GTEST_SKIP() << "no corpus at " << corpusDir();
        books_ = corpusBooks();
        ASSERT_FALSE(books_.empty());
    }
    std::vector<Book> books_;
};

struct Loaded {
    PDBFileHandle file;
    PDBContainerHandle container;
    int format = 0;
    bool ok = false;
};

Loaded load(const Book& b) {
    Loaded l;
    StreamHandle s = openFileStream(LVString16(b.path.c_str()), OpenModeRead);
    if (s) l.ok = pdbOpen(s, l.file, l.container, l.format);
    return l;
}

TEST_F(PdbCorpus, TextEqualsTheDecompressedRecordsOfTheOracles) {
    int compared = 0;
    for (const Book& b : books_) {
        Loaded l = load(b);
        if (refused(b)) {
            EXPECT_FALSE(l.ok) << b.path;
            continue;
        }
        ASSERT_TRUE(l.ok) << b.path;
        std::string expected;
        if (!oracleText(b, expected)) continue;
        std::string text = readAll(l.file.get());
        EXPECT_TRUE(text == expected)
            << b.path << ": " << text.size() << " bytes decoded, oracle " << expected.size();
        uint32_t crc = 0;
        EXPECT_EQ(l.file->GetCrc32(&crc), ResultOk);
        EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef*>(text.data()),
                             static_cast<uInt>(text.size())))
            << b.path;
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

TEST_F(PdbCorpus, MobipocketMetadataAgreesWithTheOracle) {
    int compared = 0;
    for (const Book& b : books_) {
        if (refused(b) || !fs::exists(oraclePath(b, ".meta.json"))) continue;
        Loaded l = load(b);
        ASSERT_TRUE(l.ok) << b.path;
        if (l.file->kind() != PDBKindMobipocket) continue;
        auto meta = readMeta(oraclePath(b, ".meta.json"));
        auto ours = [&](const char* name) {
            LVString16 v;
            return l.file->props()->getString(name, v) ? std::string(encodeUtf8(v).c_str())
                                                       : std::string();
        };
        const std::pair<const char*, const char*> fields[] = {
            {"title", "doc.title"}, {"authors", "doc.authors"}, {"publisher", "doc.publisher"},
            {"isbn", "doc.ibsn"},   {"rights", "doc.rights"},   {"contributor", "doc.contributor"}};
        for (auto [key, prop] : fields) {
            std::string want = meta.count(key) ? meta[key] : "";
            if (want == "Unknown") want.clear();
            std::string got = ours(prop);
            if (got == "Unknown") got.clear();
            EXPECT_EQ(got, want) << b.path << " " << key;
        }
        // The oracle normalises dates to a full time stamp.
        if (meta.count("pubdate")) {
            EXPECT_EQ(meta["pubdate"].rfind(ours("doc.date"), 0), 0u) << b.path;
        }
        std::string cover = ours("doc.cover.file");
        EXPECT_EQ(!cover.empty(), meta["has_cover"] == "1") << b.path;
        if (!cover.empty()) {
            EXPECT_TRUE(l.container->OpenStream(LVString16(cover.c_str()), OpenModeRead)) << b.path;
        }
        ++compared;
    }
    EXPECT_GE(compared, 15);
}

TEST_F(PdbCorpus, ImageItemsOpenAsImages) {
    int images = 0;
    for (const Book& b : books_) {
        if (refused(b)) continue;
        Loaded l = load(b);
        ASSERT_TRUE(l.ok) << b.path;
        for (int32_t i = 0; i < l.container->GetObjectCount(); ++i) {
            const LVContainerItemInfo* item = l.container->GetObjectInfo(i);
            StreamHandle s = l.container->OpenStream(item->GetName(), OpenModeRead);
            ASSERT_TRUE(s) << b.path;
            std::string data = readAll(s.get());
            ASSERT_EQ(data.size(), item->GetSize()) << b.path;
            bool image = data.rfind("\xFF\xD8\xFF", 0) == 0 || data.rfind("\x89PNG", 0) == 0 ||
                         data.rfind("GIF", 0) == 0;
            EXPECT_TRUE(image) << b.path << " " << encodeUtf8(item->GetName()).c_str();
            ++images;
        }
    }
    EXPECT_GT(images, 10);
}

// Words split at white space, Unicode spaces included (the oracle turns
// no-break spaces into plain ones).
std::vector<std::string> words(std::string text) {
    for (const char* space :
         {"\xC2\xA0", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x89", "\xE3\x80\x80"}) {
        for (size_t at = text.find(space); at != std::string::npos; at = text.find(space, at))
            text.replace(at, std::strlen(space), " ");
    }
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string w;
    while (ss >> w) out.push_back(w);
    return out;
}

// Every readable book imports into a tree whose text has no replacement
// characters or C0 controls, and whose words are (nearly all) the words of
// the independent plain-text oracle. The oracle has its own additions
// (smartened quotes, an inline table of contents), so the check is on the
// share of our words it contains, which garbage at record boundaries or a
// wrong encoding would pull far down.
TEST_F(PdbCorpus, ImportedTextAgreesWithThePlainTextOracle) {
    int compared = 0;
    for (const Book& b : books_) {
        std::string oracle;
        if (refused(b) || !gunzip(oraclePath(b, ".calibre.txt.gz"), oracle)) continue;
        StreamHandle s = openFileStream(LVString16(b.path.c_str()), OpenModeRead);
        Ref<ldomDocument> doc = ldomDocument::create();
        ContainerHandle container;
        int format = 0;
        ASSERT_TRUE(s && pdbImport(s, doc.get(), nullptr, container, format)) << b.path;
        std::string text = encodeUtf8(dumpDocumentText(doc.get())).c_str();
        EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << b.path << ": U+FFFD";
        for (unsigned char c : text)
            if (c < 0x20 && c != '\n' && c != '\t' && c != '\r') {
                ADD_FAILURE() << b.path << ": control character " << int(c);
                break;
            }
        std::unordered_map<std::string, int> bag;
        for (const std::string& w : words(oracle)) ++bag[w];
        std::vector<std::string> ours = words(text);
        size_t found = 0;
        for (const std::string& w : ours)
            if (bag[w]-- > 0) ++found;
        double share = ours.empty() ? 0 : static_cast<double>(found) / ours.size();
        EXPECT_GT(share, 0.9) << b.path << ": " << found << " of " << ours.size() << " words";
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

}  // namespace
