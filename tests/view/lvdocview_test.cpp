// Loading through LVDocView: detection by content, archive paths and entry
// choice, the doc.* bookkeeping and the generated message pages.
#include "view/lvdocview.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "dom/treedump.h"
#include "foundation/log.h"

namespace {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/vellumo-view-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { (void)system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name, const std::string& bytes) const {
        std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A ZIP archive of stored entries, written byte by byte.
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string out, central;
    auto put16 = [](std::string& s, uint32_t v) {
        s.push_back(char(v & 0xFF));
        s.push_back(char((v >> 8) & 0xFF));
    };
    auto put32 = [&](std::string& s, uint32_t v) {
        put16(s, v & 0xFFFF);
        put16(s, v >> 16);
    };
    for (const auto& [name, data] : entries) {
        uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size());
        uint32_t offset = static_cast<uint32_t>(out.size());
        put32(out, 0x04034b50);
        put16(out, 10), put16(out, 0), put16(out, 0), put16(out, 0), put16(out, 0);
        put32(out, crc), put32(out, data.size()), put32(out, data.size());
        put16(out, name.size()), put16(out, 0);
        out += name + data;
        put32(central, 0x02014b50);
        put16(central, 0x031E), put16(central, 10), put16(central, 0), put16(central, 0);
        put16(central, 0), put16(central, 0);
        put32(central, crc), put32(central, data.size()), put32(central, data.size());
        put16(central, name.size()), put16(central, 0), put16(central, 0), put16(central, 0);
        put16(central, 0), put32(central, 0), put32(central, offset);
        central += name;
    }
    uint32_t cdOffset = static_cast<uint32_t>(out.size());
    out += central;
    put32(out, 0x06054b50);
    put16(out, 0), put16(out, 0), put16(out, entries.size()), put16(out, entries.size());
    put32(out, central.size()), put32(out, cdOffset), put16(out, 0);
    return out;
}

const std::string kFb2 =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\">"
    "<description><title-info><author><first-name>Anna</first-name><last-name>Smith</last-name>"
    "</author><book-title>Tales</book-title><lang>en</lang>"
    "<sequence name=\"Stories\" number=\"3\"/></title-info></description>"
    "<body><section><title><p>One</p></title><p>First words.</p></section></body>"
    "</FictionBook>\n";

std::string prop(const LVDocView& v, const char* name) {
    return encodeUtf8(v.getDocProps()->getStringOr(name, "")).c_str();
}

LVString16 w(const std::string& s) { return localToWide(s.c_str()); }

std::string text(const LVDocView& v) {
    return encodeUtf8(dumpDocumentText(v.getDocument())).c_str();
}

TEST(LoadDocument, FictionBookMetadataAndSeries) {
    TempDir dir;
    LVDocViewHandle view(new LVDocView());
    ASSERT_TRUE(view->LoadDocument(w(dir.file("tales.azw", kFb2))));
    EXPECT_TRUE(view->hasDocument());
    EXPECT_EQ(view->getDocFormat(), doc_format_fb2);
    EXPECT_EQ(prop(*view, "doc.file.format"), "FictionBook (FB2)");
    EXPECT_EQ(prop(*view, "doc.file.format.id"), "1");
    EXPECT_EQ(prop(*view, "doc.title"), "Tales");
    EXPECT_EQ(prop(*view, "doc.authors"), "Anna Smith");
    EXPECT_EQ(prop(*view, "doc.language"), "en");
    EXPECT_EQ(prop(*view, "doc.series.name"), "Stories");
    EXPECT_EQ(prop(*view, "doc.series.number"), "3");
    EXPECT_EQ(prop(*view, "doc.file.name"), "tales.azw");
    EXPECT_EQ(prop(*view, "doc.file.size"), std::to_string(kFb2.size()));
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(kFb2.data()), kFb2.size());
    EXPECT_EQ(prop(*view, "doc.file.crc32"), std::to_string(crc));
    // The document shares the view's property set.
    EXPECT_EQ(view->getDocument()->getProps().get(), view->getDocProps().get());

    std::string noNumber = kFb2;
    noNumber.replace(noNumber.find(" number=\"3\""), 11, " number=\"0\"");
    ASSERT_TRUE(view->LoadDocument(w(dir.file("zero.fb2", noNumber))));
    EXPECT_EQ(prop(*view, "doc.series.number"), "");
}

TEST(LoadDocument, HtmlTitleFromHead) {
    TempDir dir;
    LVDocViewHandle view(new LVDocView());
    std::string html =
        "<html><head><title> The  Page </title><style>p{color:red}</style></head>"
        "<body><p>Hello <b>there</b></p><p>Second</p></body></html>";
    ASSERT_TRUE(view->LoadDocument(w(dir.file("page.html", html))));
    EXPECT_EQ(view->getDocFormat(), doc_format_html);
    EXPECT_EQ(prop(*view, "doc.title"), "The Page");  // title text is collapsed
    std::string t = text(*view);
    EXPECT_NE(t.find("Hello there"), std::string::npos);
    EXPECT_EQ(t.find("color:red"), std::string::npos);  // head content is not book text
}

TEST(LoadDocument, MessagePages) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    };
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(char((i * 7919) & 0xFF));
    // A Palm database header naming a Mobipocket book, with no records.
    std::string pdb(78, '\0');
    pdb.replace(60, 8, "BOOKMOBI");
    const Case cases[] = {
        {"tiny.azw", "abcd", "ERROR: Wrong document size"},
        {"noise.azw", binary, "ERROR: Unknown document format"},
        {"broken.azw", pdb + std::string(200, '\0'), "ERROR: Error reading PDB format"},
    };
    for (const Case& c : cases) {
        LVDocViewHandle view(new LVDocView());
        EXPECT_FALSE(view->LoadDocument(w(dir.file(c.name, c.bytes)))) << c.name;
        EXPECT_EQ(encodeUtf8(view->getLoadErrorMessage()), c.message) << c.name;
        // The page is an ordinary document with the title and the message.
        ASSERT_NE(view->getDocument(), nullptr) << c.name;
        std::string t = text(*view);
        EXPECT_NE(t.find("Cannot open document"), std::string::npos) << c.name;
        EXPECT_NE(t.find(c.message), std::string::npos) << c.name;
        EXPECT_EQ(prop(*view, "doc.title"), "Cannot open document");
        EXPECT_FALSE(view->hasDocument());
    }
}

TEST(LoadDocument, MissingFilesLeaveNoDocument) {
    TempDir dir;
    LVDocViewHandle view(new LVDocView());
    EXPECT_FALSE(view->LoadDocument(LVString16()));
    EXPECT_FALSE(view->LoadDocument(w(dir.path() + "/missing.fb2")));
    EXPECT_EQ(view->getDocument(), nullptr);
    EXPECT_FALSE(view->LoadDocument(w(dir.path() + "/nowhere/missing.fb2")));
    EXPECT_FALSE(view->LoadDocument(w(dir.path())));  // a folder is not a book
}

TEST(LoadDocument, ArchivePath) {
    TempDir dir;
    std::string zip = dir.file("a.zip", makeZip({{"text/book.fb2", kFb2}, {"b.txt", "x"}}));
    for (const char* sep : {"@/", "@\\"}) {
        LVDocViewHandle view(new LVDocView());
        ASSERT_TRUE(view->LoadDocument(w(zip + sep + "text/book.fb2"))) << sep;
        EXPECT_EQ(prop(*view, "doc.archive.name"), "a.zip");
        EXPECT_EQ(prop(*view, "doc.archive.path"), dir.path() + "/");
        EXPECT_EQ(prop(*view, "doc.file.name"), "text/book.fb2");
        EXPECT_EQ(prop(*view, "doc.file.code.base"), "text/");
        EXPECT_EQ(prop(*view, "doc.title"), "Tales");
    }
    // "x.zip@/" has no entry part: it is not split and fails as a plain name.
    LVDocViewHandle view(new LVDocView());
    EXPECT_FALSE(view->LoadDocument(w(zip + "@/")));
    EXPECT_FALSE(view->LoadDocument(w(zip + "@/missing.fb2")));
    EXPECT_EQ(view->getDocument(), nullptr);

    // A real folder whose name ends in "@" is a folder, not an archive.
    ASSERT_EQ(mkdir((dir.path() + "/mail@").c_str(), 0755), 0);
    dir.file("mail@/book.fb2", kFb2);
    EXPECT_TRUE(view->LoadDocument(w(dir.path() + "/mail@/book.fb2")));
    EXPECT_EQ(prop(*view, "doc.title"), "Tales");
}

TEST(LoadDocument, ZipEntryChoice) {
    TempDir dir;
    struct Case {
        std::vector<std::pair<std::string, std::string>> entries;
        const char* chosen;  // null: no supported entry
    };
    std::string html = "<html><body><p>Index page</p></body></html>";
    const Case cases[] = {
        {{{"a.txt", "plain text here"}, {"Index.HTML", html}, {"b.fb2", kFb2}}, "Index.HTML"},
        {{{"b.fb2", kFb2}, {"a.txt", "plain text here"}}, "b.fb2"},
        {{{"dir/", ""}, {"x.doc", "binary"}, {"notes.txt", "notes and more notes, long enough to be a book"}}, "notes.txt"},
        {{{"x.doc", "binary"}}, nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = dir.file("book" + std::to_string(n++) + ".zip", makeZip(c.entries));
        LVDocViewHandle view(new LVDocView());
        bool ok = view->LoadDocument(w(path));
        if (!c.chosen) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(view->getDocument(), nullptr);  // no message page for this case
            continue;
        }
        ASSERT_TRUE(ok) << c.chosen;
        EXPECT_EQ(prop(*view, "doc.file.name"), c.chosen);
        EXPECT_EQ(prop(*view, "doc.archive.name"), path.substr(path.rfind('/') + 1));
        EXPECT_EQ(prop(*view, "doc.archive.file.count"), std::to_string(c.entries.size()));
        EXPECT_EQ(prop(*view, "doc.file.path"), "");
    }
}

class LogCapture : public EngineLogger {
public:
    LogCapture() : EngineLogger(LogLevelDebug) { setEngineLogger(this); }
    ~LogCapture() override { setEngineLogger(nullptr); }
    void log(const char*, const char* format, va_list args) override {
        char buf[1024];
        vsnprintf(buf, sizeof buf, format, args);
        lines.push_back(buf);
    }
    bool saw(const std::string& needle) const {
        for (const auto& l : lines)
            if (l.find(needle) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> lines;
};

TEST(LoadDocument, CacheLookupOnlyAbove64K) {
    TempDir dir;
    for (size_t size : {size_t(65536), size_t(65537)}) {
        std::string body(size, 'a');
        for (size_t i = 60; i < size; i += 61) body[i] = '\n';
        std::string path = dir.file("t" + std::to_string(size) + ".txt", body);
        LogCapture log;
        LVDocViewHandle view(new LVDocView());
        ASSERT_TRUE(view->LoadDocument(w(path)));
        EXPECT_EQ(view->getDocFormat(), doc_format_txt);
        EXPECT_EQ(log.saw("exists in cache"), size > 65536) << size;
    }
}

}  // namespace
