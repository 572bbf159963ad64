#include "streams/paths.h"

#include <gtest/gtest.h>

#include "stream_test_support.h"

namespace {

LVString16 s16(const char* utf8) { return LVString16(utf8); }

TEST(StreamPaths, ExtractPathAndFileName) {
    struct Case {
        const char* path;
        const char* folder;      // with dotIfNone
        const char* folderBare;  // without
        const char* file;
    };
    const Case cases[] = {
        {"a/b/c.txt", "a/b/", "a/b/", "c.txt"},
        {"c.txt", "./", "", "c.txt"},
        {"a\\b\\c.txt", "a\\b\\", "a\\b\\", "c.txt"},
        {"a\\b/c", "a\\b/", "a\\b/", "c"},
        {"/c", "/", "/", "c"},
        {"a/b/", "a/b/", "a/b/", ""},
        {"", "./", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(extractPath(s16(c.path), true), s16(c.folder));
        EXPECT_EQ(extractPath(s16(c.path), false), s16(c.folderBare));
        EXPECT_EQ(extractFileName(s16(c.path)), s16(c.file));
    }
}

TEST(StreamPaths, ExtractBaseNameDropsShortExtensionsOnly) {
    struct Case {
        const char* path;
        const char* base;
    };
    const Case cases[] = {
        {"x/book.fb2", "book"},
        {"notes.verylongext", "notes.verylongext"},  // dot 12 characters from the end
        {"a.abcdef", "a"},                           // dot exactly 7 characters from the end
        {"a.abcdefg", "a.abcdefg"},                  // 8: too far
        {"x.tar.gz", "x.tar"},                       // only the last dot counts
        {".bashrc", ".bashrc"},                      // a leading dot is no extension
        {"dir.d/readme", "readme"},                  // dots in folders do not count
        {"a\\b\\c.htm", "c"},
        {"name.", "name"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(extractBaseName(s16(c.path)), s16(c.base)) << c.path;
}

TEST(StreamPaths, SplitLastPathElement) {
    struct Case {
        const char* path;
        const char* last;
        const char* rest;
    };
    const Case cases[] = {
        {"a/b/c", "c", "a/b"}, {"a/b/c/", "c", "a/b"}, {"a\\b", "b", "a"}, {"c", "c", ""},
        {"/c", "c", ""},       {"/", "", ""},          {"a//", "", "a"},   {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        LVString16 path = s16(c.path);
        EXPECT_EQ(splitLastPathElement(path), s16(c.last));
        EXPECT_EQ(path, s16(c.rest));
    }
    // Repeated splitting walks up to the root.
    LVString16 path = s16("one/two/three");
    EXPECT_EQ(splitLastPathElement(path), s16("three"));
    EXPECT_EQ(splitLastPathElement(path), s16("two"));
    EXPECT_EQ(splitLastPathElement(path), s16("one"));
    EXPECT_TRUE(path.empty());
}

TEST(StreamPaths, DelimiterDetectionAndAppending) {
    EXPECT_EQ(detectPathDelimiter(s16("a/b\\c")), u'/');
    EXPECT_EQ(detectPathDelimiter(s16("a\\b/c")), u'\\');
    EXPECT_EQ(detectPathDelimiter(s16("abc")), u'/');
    EXPECT_EQ(detectPathDelimiter(s16("")), u'/');

    struct Case {
        const char* path;
        const char* appended;
    };
    const Case cases[] = {
        {"a", "a/"}, {"a/b", "a/b/"}, {"a\\b", "a\\b\\"}, {"a/", "a/"}, {"a\\", "a\\"}, {"", ""},
    };
    for (const Case& c : cases) {
        LVString16 path = s16(c.path);
        appendPathDelimiter(path);
        EXPECT_EQ(path, s16(c.appended)) << c.path;
    }
}

TEST(StreamPaths, CombinePaths) {
    struct Case {
        const char* base;
        const char* relative;
        const char* combined;
    };
    const Case cases[] = {
        {"books/a", "../b/c.htm", "books/b/c.htm"},
        {"books", "c.htm", "books/c.htm"},
        {"books/", "c.htm", "books/c.htm"},
        {"a/b/c", "../../d", "a/d"},
        {"x/a/b", "../../c", "x/c"},
        {"", "x/y.htm", "x/y.htm"},
        {".", "x.htm", "x.htm"},                  // the leading "./" goes
        {"./a", "../b", "b"},                     // ".." is resolved before "./" goes
        {"a/.hidden", "../x", "a/.hidden/../x"},  // names starting with "." stay
        {"a/b", "../../x", "a/../x"},             // a first name has no delimiter before it
        {"a\\b", "c/d", "a\\b\\c\\d"},            // the base's delimiter wins
        {"ab", "c\\d", "ab\\c\\d"},               // else the relative path's
        {"base", "/abs/p", "/abs/p"},             // absolute paths are kept as they are
        {"base", "\\abs\\p", "\\abs\\p"},
        {"base", "C:\\x/y", "C:\\x/y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(combinePaths(s16(c.base), s16(c.relative)), s16(c.combined))
            << c.base << " + " << c.relative;
    }
}

}  // namespace
