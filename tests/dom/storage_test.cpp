#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom_test_support.h"
#include "foundation/timelimit.h"

namespace {

// A document whose compaction gets an in-memory cache file when it asks for one.
class SwappingDocument : public ldomDocument {
public:
    bool createCacheFile() override {
        ++createCalls;
        if (!cacheFile()) {
            auto f = std::make_unique<MemoryCacheFile>();
            file = f.get();
            f->failWrites = failWrites;
            setCacheFile(std::move(f));
        }
        return true;
    }
    MemoryCacheFile* file = nullptr;
    bool failWrites = false;
    int createCalls = 0;
};

// Texts of about 100 bytes, numbered so every one is recognisable.
std::string textNo(int i) { return "text number " + std::to_string(i) + std::string(88, '.'); }

void fillTexts(ldomNode* parent, int count) {
    for (int i = 0; i < count; ++i) parent->insertChildText(textNo(i).c_str());
}

void expectTexts(const ldomNode* parent, int count) {
    ASSERT_EQ(parent->getChildCount(), count);
    for (int i = 0; i < count; ++i) {
        LVString8 t = parent->getChildNode(i)->getText8();
        ASSERT_EQ(std::string(t.c_str(), t.length()), textNo(i)) << i;
    }
}

constexpr uint32_t kChunk = 32768;  // text storage chunk size

TEST(Storage, WithoutCacheFileEverythingStaysInMemory) {
    auto doc = ldomDocument::create();
    doc->textStorage().setMemoryLimit(2 * kChunk);
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    fillTexts(p, 3000);  // about 11 chunks
    ldomDataStorageManager& t = doc->textStorage();
    EXPECT_GT(t.chunkCount(), 8u);
    EXPECT_EQ(t.chunksInMemory(), t.chunkCount());
    EXPECT_FALSE(doc->cacheFailed());
    expectTexts(p, 3000);
}

TEST(Storage, CompactionSwapsLeastRecentlyUsedChunksAndRestoresThem) {
    Ref<SwappingDocument> doc(new SwappingDocument);
    doc->loadDefaultNameTables();
    ldomDataStorageManager& t = doc->textStorage();
    const uint32_t limit = 4 * kChunk;
    t.setMemoryLimit(limit);
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    fillTexts(p, 3000);
    ASSERT_TRUE(doc->file);
    EXPECT_GT(doc->file->writes, 0);
    EXPECT_LT(t.chunksInMemory(), t.chunkCount());
    EXPECT_LE(t.bytesInMemory(), limit + limit / 10 + kChunk);
    // Reading everything back restores swapped chunks one by one and keeps
    // memory bounded.
    expectTexts(p, 3000);
    EXPECT_GT(doc->file->reads, 0);
    EXPECT_LE(t.bytesInMemory(), limit + limit / 10 + kChunk);
    EXPECT_FALSE(doc->cacheFailed());
    // A node whose record was swapped out can still be changed.
    ldomNode* first = p->getChildNode(0);
    ASSERT_TRUE(first->setText(LVString8("changed")));
    ASSERT_EQ(first->persist(), first);
    EXPECT_EQ(first->getText8(), "changed");
}

TEST(Storage, WithinTenPercentOverTheLimitNothingIsSwapped) {
    Ref<SwappingDocument> doc(new SwappingDocument);
    ldomDataStorageManager& t = doc->textStorage();
    t.setMemoryLimit(10 * kChunk);
    uint32_t address = 0;
    for (int i = 0; i < 11; ++i) ASSERT_TRUE(t.allocRecord(kChunk, address));  // 110 %
    EXPECT_EQ(doc->createCalls, 0);
    EXPECT_EQ(t.chunksInMemory(), 11u);
    ASSERT_TRUE(t.allocRecord(kChunk, address));  // past 110 %
    EXPECT_EQ(doc->createCalls, 1);
    EXPECT_LT(t.chunksInMemory(), 12u);
}

TEST(Storage, FailedSwapKeepsChunksAndSetsTheFailureFlag) {
    Ref<SwappingDocument> doc(new SwappingDocument);
    doc->failWrites = true;
    doc->textStorage().setMemoryLimit(2 * kChunk);
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    fillTexts(p, 2000);
    EXPECT_TRUE(doc->cacheFailed());
    EXPECT_EQ(doc->textStorage().chunksInMemory(), doc->textStorage().chunkCount());
    expectTexts(p, 2000);
}

TEST(Storage, FailedRestoreYieldsNoRecordInsteadOfEndingTheProcess) {
    Ref<SwappingDocument> doc(new SwappingDocument);
    doc->textStorage().setMemoryLimit(2 * kChunk);
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    fillTexts(p, 2000);
    ASSERT_TRUE(doc->file);
    doc->file->failReads = true;
    ldomNode* first = p->getChildNode(0);  // in a chunk that was swapped out
    EXPECT_TRUE(first->getText8().empty());
    EXPECT_EQ(first->modify(), nullptr);
    EXPECT_TRUE(doc->cacheFailed());
    // Chunks still in memory remain usable.
    LVString8 last = p->getChildNode(1999)->getText8();
    EXPECT_EQ(std::string(last.c_str(), last.length()), textNo(1999));
}

TEST(Storage, SaveAndLoadThroughTheChunkIndex) {
    auto blocks = std::make_shared<MemoryCacheFile::Blocks>();
    auto a = ldomDocument::create();
    a->setCacheFile(std::make_unique<MemoryCacheFile>(blocks));
    ldomDataStorageManager& ta = a->textStorage();
    std::vector<uint32_t> addresses;
    for (int i = 0; i < 1000; ++i) {
        uint32_t address = 0;
        uint8_t* rec = ta.allocRecord(112, address);
        ASSERT_TRUE(rec);
        std::string s = textNo(i);
        std::memcpy(rec, s.data(), s.size());
        addresses.push_back(address);
    }
    // An expired limit stops after the first chunk; the next call finishes.
    TimeLimit expired(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_EQ(ta.save(expired), 1);
    EXPECT_FALSE(blocks->count({2, 0xFFFF}));
    EXPECT_EQ(ta.save(TimeLimit()), 0);
    EXPECT_TRUE(blocks->count({2, 0xFFFF}));

    auto b = ldomDocument::create();
    b->setCacheFile(std::make_unique<MemoryCacheFile>(blocks));
    ldomDataStorageManager& tb = b->textStorage();
    ASSERT_TRUE(tb.load());
    EXPECT_EQ(tb.chunkCount(), ta.chunkCount());
    EXPECT_EQ(tb.chunksInMemory(), 0u);
    for (int i = 0; i < 1000; i += 97) {
        const uint8_t* rec = tb.recordAt(addresses[i], 112);
        ASSERT_TRUE(rec);
        std::string s = textNo(i);
        EXPECT_EQ(std::memcmp(rec, s.data(), s.size()), 0) << i;
    }

    // A chunk index that claims too many chunks is refused.
    std::vector<uint8_t> bad(4);
    bad[0] = 0x11;
    bad[1] = 0x27;  // 10001
    (*blocks)[{2, 0xFFFF}] = bad;
    auto c = ldomDocument::create();
    c->setCacheFile(std::make_unique<MemoryCacheFile>(blocks));
    EXPECT_FALSE(c->textStorage().load());
}

TEST(Storage, BadAddressesAndDamagedRecordsYieldNoRecord) {
    auto doc = ldomDocument::create();
    ldomNode* root = doc->getRootNode();
    root->insertChildElement(ElemP);
    root->insertChildElement(ElemP);
    ASSERT_EQ(root->persist(), root);  // the first element record: chunk 0, offset 0
    ldomDataStorageManager& e = doc->elementStorage();
    EXPECT_TRUE(e.recordAt(ldomDataStorageManager::makeAddress(0, 0), 24));
    EXPECT_FALSE(e.recordAt(ldomDataStorageManager::makeAddress(0, 4096), 16));  // past used part
    EXPECT_FALSE(e.recordAt(ldomDataStorageManager::makeAddress(7, 0), 16));     // no such chunk

    // The stored size field is never trusted...
    const uint8_t size[2] = {0xFF, 0xFF};
    ASSERT_TRUE(e.writeAt(0, 2, size, 2));
    EXPECT_EQ(root->getChildCount(), 2);
    // ...and counts that do not fit the chunk make the record unreadable,
    // never read past it.
    const uint8_t count[4] = {0xFF, 0xFF, 0xFF, 0x0F};
    ASSERT_TRUE(e.writeAt(0, 20, count, 4));
    EXPECT_EQ(root->getChildCount(), 0);
    EXPECT_EQ(root->getChildNode(100000), nullptr);
    EXPECT_EQ(root->modify(), nullptr);
}

}  // namespace
