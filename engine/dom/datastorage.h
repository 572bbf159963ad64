// Chunked storages behind persistent nodes.
//
// A document keeps four storages: persistent text records ('t'), persistent
// element records ('e'), one RenderRect per element ('r') and one
// NodeStyleRecord per element ('s'). Each is a growable array of chunks with
// a most-recently-used list; when the bytes held in memory pass the storage's
// limit by more than 10 %, the least recently used chunks are written to the
// document's cache file (when it has one) and their buffers freed.
//
// Records are addressed by 32-bit storage addresses: chunk index * 65536 +
// byte offset / 16. All data inside chunks is little-endian and read and
// written byte by byte; nothing is cast over a chunk buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class tinyNodeCollection;
class TimeLimit;

// ---- Little-endian access ------------------------------------------------------

inline uint16_t loadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (static_cast<uint16_t>(p[1]) << 8));
}
inline uint32_t loadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void storeLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// ---- Per-element render data ----------------------------------------------------

// The element's box in pixels; x and y are relative to the parent's box.
// Stored as four signed 32-bit values: x, width, y, height.
struct RenderRect {
    int32_t x = 0;
    int32_t width = 0;
    int32_t y = 0;
    int32_t height = 0;

    static constexpr uint32_t kStoredSize = 16;
    bool operator==(const RenderRect&) const = default;
};

// Indexes into the document's style and font caches; 0 means none.
struct NodeStyleRecord {
    uint16_t styleIndex = 0;
    uint16_t fontIndex = 0;

    static constexpr uint32_t kStoredSize = 4;
    bool operator==(const NodeStyleRecord&) const = default;
};

// ---- Cache file hook --------------------------------------------------------------

// The block store a document swaps chunks to and saves itself into. Blocks
// are named by (type, index). A document has none until one is created for
// it; while it has none, chunks stay in memory.
class DocCacheFile {
public:
    virtual ~DocCacheFile() = default;
    virtual bool writeBlock(uint16_t type, uint16_t index, const uint8_t* data, size_t size,
                            bool compress) = 0;
    // Replaces out with the block's bytes; false when it is absent or unreadable.
    virtual bool readBlock(uint16_t type, uint16_t index, std::vector<uint8_t>& out) = 0;
};

// ---- Storages -----------------------------------------------------------------------

class ldomDataStorageManager;

class ldomStorageChunk {
public:
    uint16_t index() const { return index_; }
    bool inMemory() const { return buf_ != nullptr; }
    bool saved() const { return saved_; }
    uint32_t usedSize() const { return used_; }
    uint32_t bufferSize() const { return bufSize_; }

private:
    friend class ldomDataStorageManager;
    ldomDataStorageManager* manager_ = nullptr;
    ldomStorageChunk* newer_ = nullptr;  // towards the head of the recency list
    ldomStorageChunk* older_ = nullptr;
    uint8_t* buf_ = nullptr;  // absent while swapped out
    uint32_t bufSize_ = 0;
    uint32_t used_ = 0;
    uint16_t index_ = 0;
    char letter_ = 0;
    bool saved_ = false;  // the cache file holds the current content
};

class ldomDataStorageManager {
public:
    static constexpr uint32_t kNoAddress = 0xFFFFFFFF;
    // Chunk index 0xFFFF names the storage's chunk-index block.
    static constexpr uint32_t kMaxChunks = 0xFFFF;
    // A stored chunk index with more entries is refused on load.
    static constexpr uint32_t kMaxLoadedChunks = 10000;

    ldomDataStorageManager(tinyNodeCollection* owner, char letter, uint16_t blockType,
                           uint32_t memoryLimit, uint32_t chunkSize);
    ~ldomDataStorageManager();
    ldomDataStorageManager(const ldomDataStorageManager&) = delete;
    ldomDataStorageManager& operator=(const ldomDataStorageManager&) = delete;

    static uint32_t makeAddress(uint32_t chunk, uint32_t offset) {
        return (chunk << 16) | (offset >> 4);
    }
    static uint32_t addressChunk(uint32_t address) { return address >> 16; }
    static uint32_t addressOffset(uint32_t address) { return (address & 0xFFFF) << 4; }

    // -- variable-size records (text and element storages) --
    // A zero-filled record of size bytes (a multiple of 16) in the current
    // chunk, or in a new one; null (and address kNoAddress) when the storage
    // has run out of chunk indexes.
    uint8_t* allocRecord(uint32_t size, uint32_t& address);
    // The record at address when at least minSize of its bytes lie in the
    // used part of its chunk; *available receives the bytes from the record
    // start to the end of the used part. Null for a bad address or a chunk
    // that cannot be brought back into memory. Marks the chunk recently used.
    // Callers that change bytes through the pointer call markModified.
    uint8_t* recordAt(uint32_t address, uint32_t minSize, uint32_t* available = nullptr);
    // Compares, then writes n bytes at offset into the record; a change marks
    // the chunk unsaved. False when the bytes are out of bounds.
    bool writeAt(uint32_t address, uint32_t offset, const void* src, uint32_t n);
    void markModified(uint32_t address);

    // -- fixed-size records (rect and style storages) --
    // Reading from a chunk that does not exist yet gives zeros.
    bool readFixed(uint32_t chunk, uint32_t offset, uint8_t* dst, uint32_t n);
    // Appends zero-filled chunks until chunk exists, then writes.
    bool writeFixed(uint32_t chunk, uint32_t offset, const uint8_t* src, uint32_t n);

    // Swaps least recently used chunks out when the bytes in memory plus
    // bytesToAdd exceed the limit by more than 10 %.
    void compact(uint32_t bytesToAdd);

    // Writes every unsaved chunk, then the chunk index; 0 done, 1 the time
    // limit expired first (call again), 2 error.
    int save(const TimeLimit& limit);
    // Recreates the chunks listed in the stored chunk index, without buffers.
    bool load();

    char letter() const { return letter_; }
    uint16_t blockType() const { return blockType_; }
    uint32_t chunkCount() const { return static_cast<uint32_t>(chunks_.size()); }
    const ldomStorageChunk* chunk(uint32_t i) const {
        return i < chunks_.size() ? chunks_[i] : nullptr;
    }
    uint32_t chunksInMemory() const;
    uint64_t bytesInMemory() const { return bytesInMemory_; }
    uint32_t memoryLimit() const { return memoryLimit_; }
    void setMemoryLimit(uint32_t limit) { memoryLimit_ = limit; }
    uint32_t chunkSize() const { return chunkSize_; }

private:
    ldomStorageChunk* appendChunk(uint32_t bufferSize);
    // The chunk, moved to the head of the recency list and in memory; null
    // when the index is bad or the chunk cannot be restored.
    ldomStorageChunk* access(uint32_t index);
    bool restoreFromCache(ldomStorageChunk* c);
    bool swapOut(ldomStorageChunk* c);
    void unlink(ldomStorageChunk* c);
    void pushHead(ldomStorageChunk* c);
    void freeBuffer(ldomStorageChunk* c);

    tinyNodeCollection* owner_;
    char letter_;
    uint16_t blockType_;
    uint32_t memoryLimit_;
    uint32_t chunkSize_;
    std::vector<ldomStorageChunk*> chunks_;
    ldomStorageChunk* head_ = nullptr;  // most recently used
    ldomStorageChunk* tail_ = nullptr;
    ldomStorageChunk* current_ = nullptr;  // allocation chunk
    uint64_t bytesInMemory_ = 0;
};
