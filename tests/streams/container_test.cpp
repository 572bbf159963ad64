#include "streams/container.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "stream_test_support.h"
#include "streams/dircontainer.h"
#include "streams/memstream.h"

namespace {

std::vector<std::string> itemNames(const ContainerHandle& c) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < c->GetObjectCount(); ++i)
        out.push_back(wideToLocal(c->GetObjectInfo(i)->GetName()).c_str());
    return out;
}

class DirectoryContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        dir.writeFile("b.txt", "bee");
        dir.writeFile("a.txt", "a");
        dir.writeFile("README", "no dot in the name");
        dir.writeFile("Ёлка.html", "<p>");
        dir.writeFile(".hidden", "h");
        std::filesystem::create_directories(dir.native("Images/Sub"));
        dir.writeFile("Images/Cover.JPG", "jpeg bytes");
        dir.writeFile("Images/Sub/Deep.PNG", "png bytes");
        dir.writeFile("locked.txt", "ro");
        chmod(dir.native("locked.txt").c_str(), 0444);
        mkfifo(dir.native("pipe").c_str(), 0644);
    }

    TempFolder dir;
};

TEST_F(DirectoryContainerTest, ListsFilesAndFoldersSortedWithSynthesisedFlags) {
    ContainerHandle c = openDirectory(dir.path(""), LVString16("*.*"));
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->IsContainer());
    EXPECT_EQ(c->GetName(), dir.path(""));  // the path already ends with "/"
    // Every name, also those without a dot; not the pipe.
    EXPECT_EQ(itemNames(c), (std::vector<std::string>{".hidden", "Images", "README", "a.txt",
                                                      "b.txt", "locked.txt", "Ёлка.html"}));
    lvsize_t count = 0;
    EXPECT_EQ(c->GetSize(&count), ResultOk);
    EXPECT_EQ(count, 7u);

    struct Expect {
        int index;
        lvsize_t size;
        uint32_t flags;
        bool folder;
    };
    const Expect expected[] = {
        {1, 0, 0x10, true}, {2, 18, 0, false}, {4, 3, 0, false}, {5, 2, 0x01, false}};
    for (const Expect& e : expected) {
        const LVContainerItemInfo* item = c->GetObjectInfo(e.index);
        SCOPED_TRACE(wideToLocal(item->GetName()).c_str());
        EXPECT_EQ(item->GetSize(), e.size);
        EXPECT_EQ(item->GetFlags(), e.flags);
        EXPECT_EQ(item->IsContainer(), e.folder);
    }
    EXPECT_EQ(c->GetObjectInfo(7), nullptr);
    EXPECT_EQ(c->GetObjectInfo(-1), nullptr);
}

TEST_F(DirectoryContainerTest, PatternsAndNames) {
    struct Case {
        std::string path;
        const char* pattern;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {dir.native("Images"), "*", {"Cover.JPG", "Sub"}},
        {dir.native("Images/"), "", {"Cover.JPG", "Sub"}},
        {dir.native(""), "*.txt", {"a.txt", "b.txt", "locked.txt"}},
        {dir.native(""), "[ab].*", {"a.txt", "b.txt"}},
        {dir.native(""), "*.none", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.pattern);
        ContainerHandle folder = openDirectory(localToWide(c.path.c_str()), LVString16(c.pattern));
        ASSERT_TRUE(folder);
        EXPECT_EQ(itemNames(folder), c.expected);
        LVString16 name = folder->GetName();
        EXPECT_EQ(name[name.length() - 1], u'/');
    }
    // A filtered listing still finds other files by case.
    ContainerHandle texts = openDirectory(dir.path(""), LVString16("*.txt"));
    ASSERT_TRUE(texts);
    EXPECT_TRUE(texts->OpenStream(LVString16("images/cover.jpg"), OpenModeRead));

    EXPECT_FALSE(openDirectory(LVString16(), LVString16("*.*")));
    EXPECT_FALSE(openDirectory(dir.path("missing"), LVString16("*.*")));
    EXPECT_FALSE(openDirectory(dir.path("a.txt"), LVString16("*.*")));
}

TEST_F(DirectoryContainerTest, OpensFilesByExactCaseInsensitiveOrBackslashedNames) {
    ContainerHandle c = openDirectory(dir.path(""), LVString16("*.*"));
    ASSERT_TRUE(c);
    struct Case {
        const char* name;
        const char* content;  // null: no stream
    };
    const Case cases[] = {
        {"a.txt", "a"},
        {"Images/Cover.JPG", "jpeg bytes"},
        {"images/cover.jpg", "jpeg bytes"},
        {"IMAGES\\COVER.jpg", "jpeg bytes"},
        {"images/sub/deep.png", "png bytes"},
        {"Images/../A.TXT", "a"},
        {"ёЛКА.HTML", "<p>"},
        {"Images", nullptr},
        {"images", nullptr},
        {"missing.txt", nullptr},
        {"images/missing.jpg", nullptr},
        {"a.txt/b", nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        StreamHandle s = c->OpenStream(LVString16(k.name), OpenModeRead);
        if (!k.content) {
            EXPECT_FALSE(s);
            continue;
        }
        ASSERT_TRUE(s);
        EXPECT_EQ(readRest(*s), k.content);
    }
    // Nothing opened in read mode changed the listing.
    EXPECT_EQ(c->GetObjectCount(), 7);
}

TEST_F(DirectoryContainerTest, FileCreatedThroughTheContainerJoinsTheListing) {
    ContainerHandle c = openDirectory(dir.path(""), LVString16("*.*"));
    ASSERT_TRUE(c);
    StreamHandle s = c->OpenStream(LVString16("new.txt"), OpenModeWrite);
    ASSERT_TRUE(s);
    EXPECT_EQ(writeString(*s, "fresh"), ResultOk);
    EXPECT_EQ(itemNames(c), (std::vector<std::string>{".hidden", "Images", "README", "a.txt",
                                                      "b.txt", "locked.txt", "new.txt",
                                                      "Ёлка.html"}));
    EXPECT_EQ(dir.readFile("new.txt"), "fresh");
    // Write mode never takes another file's name by case.
    EXPECT_TRUE(c->OpenStream(LVString16("A.TXT"), OpenModeWrite));
    EXPECT_EQ(dir.readFile("a.txt"), "a");
}

TEST(ContainerTest, MemoryStreamKeepsItsContainerAlive) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    MemoryStreamHandle stream = createMemoryStream();
    EXPECT_EQ(stream->GetContainer(), nullptr);
    {
        ContainerHandle folder = openDirectory(dir.path(""), LVString16("*.*"));
        ASSERT_TRUE(folder);
        stream->setContainer(folder.get());
        EXPECT_EQ(folder->refCount(), 2);
    }
    LVContainer* held = stream->GetContainer();
    ASSERT_NE(held, nullptr);
    EXPECT_TRUE(held->IsContainer());
    EXPECT_EQ(held->GetName(), dir.path(""));
}

}  // namespace
