#include "dom/datastorage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dom/ldomdocument.h"
#include "foundation/log.h"
#include "foundation/serialbuf.h"
#include "foundation/timelimit.h"

namespace {
// A stored chunk larger than this is taken for a corrupt index.
constexpr uint32_t kMaxStoredChunkSize = 1u << 26;
}  // namespace

ldomDataStorageManager::ldomDataStorageManager(tinyNodeCollection* owner, char letter,
                                               uint16_t blockType, uint32_t memoryLimit,
                                               uint32_t chunkSize)
    : owner_(owner),
      letter_(letter),
      blockType_(blockType),
      memoryLimit_(memoryLimit),
      // Offsets inside a chunk are stored divided by 16 in 16 bits.
      chunkSize_(std::clamp<uint32_t>(chunkSize, 16, 1u << 20)) {}

ldomDataStorageManager::~ldomDataStorageManager() {
    for (ldomStorageChunk* c : chunks_) {
        std::free(c->buf_);
        delete c;
    }
}

void ldomDataStorageManager::unlink(ldomStorageChunk* c) {
    if (c->newer_) c->newer_->older_ = c->older_;
    else head_ = c->older_;
    if (c->older_) c->older_->newer_ = c->newer_;
    else tail_ = c->newer_;
    c->newer_ = c->older_ = nullptr;
}

void ldomDataStorageManager::pushHead(ldomStorageChunk* c) {
    c->newer_ = nullptr;
    c->older_ = head_;
    if (head_) head_->newer_ = c;
    head_ = c;
    if (!tail_) tail_ = c;
}

void ldomDataStorageManager::freeBuffer(ldomStorageChunk* c) {
    if (!c->buf_) return;
    std::free(c->buf_);
    c->buf_ = nullptr;
    bytesInMemory_ -= c->bufSize_;
    c->bufSize_ = 0;
}

uint32_t ldomDataStorageManager::chunksInMemory() const {
    uint32_t n = 0;
    for (const ldomStorageChunk* c : chunks_) n += c->buf_ ? 1 : 0;
    return n;
}

ldomStorageChunk* ldomDataStorageManager::appendChunk(uint32_t bufferSize) {
    if (chunks_.size() >= kMaxChunks) {
        LOG_ERROR("storage %c: all %u chunk indexes are in use", letter_, kMaxChunks);
        return nullptr;
    }
    auto* c = new ldomStorageChunk;
    c->manager_ = this;
    c->index_ = static_cast<uint16_t>(chunks_.size());
    c->letter_ = letter_;
    if (bufferSize) {
        c->buf_ = static_cast<uint8_t*>(std::calloc(1, bufferSize));
        if (!c->buf_) {
            if (letter_ == 't') fatalError(1001, "Unexpected error while allocation of text");
            if (letter_ == 'e') fatalError(1002, "Unexpected error while allocation of element");
            fatalError(-2, "realloc failed");
        }
        c->bufSize_ = bufferSize;
        bytesInMemory_ += bufferSize;
    }
    chunks_.push_back(c);
    pushHead(c);
    return c;
}

uint8_t* ldomDataStorageManager::allocRecord(uint32_t size, uint32_t& address) {
    address = kNoAddress;
    size = (size + 15) & ~15u;
    if (size == 0) return nullptr;
    if (current_ && current_->buf_ && current_->bufSize_ - current_->used_ >= size) {
        if (current_ != head_) {
            unlink(current_);
            pushHead(current_);
        }
    } else {
        ldomStorageChunk* c = appendChunk(std::max(chunkSize_, size));
        if (!c) return nullptr;
        current_ = c;
        compact(0);
    }
    uint32_t offset = current_->used_;
    current_->used_ += size;
    current_->saved_ = false;
    address = makeAddress(current_->index_, offset);
    return current_->buf_ + offset;
}

ldomStorageChunk* ldomDataStorageManager::access(uint32_t index) {
    if (index >= chunks_.size()) return nullptr;
    ldomStorageChunk* c = chunks_[index];
    if (c != head_) {
        unlink(c);
        pushHead(c);
    }
    if (!c->buf_ && !restoreFromCache(c)) return nullptr;
    return c;
}

bool ldomDataStorageManager::restoreFromCache(ldomStorageChunk* c) {
    DocCacheFile* cache = owner_ ? owner_->cacheFile() : nullptr;
    std::vector<uint8_t> data;
    if (!c->saved_ || !cache || !cache->readBlock(blockType_, c->index_, data) ||
        data.size() < c->used_) {
        LOG_ERROR("restoreFromCache() failed for chunk %c%d", letter_, c->index_);
        if (owner_) owner_->setCacheFailed();
        return false;
    }
    uint32_t size = std::max<uint32_t>(c->used_, 16);
    c->buf_ = static_cast<uint8_t*>(std::calloc(1, size));
    if (!c->buf_) fatalError(-2, "realloc failed");
    std::memcpy(c->buf_, data.data(), c->used_);
    c->bufSize_ = size;
    bytesInMemory_ += size;
    compact(0);
    return true;
}

uint8_t* ldomDataStorageManager::recordAt(uint32_t address, uint32_t minSize,
                                          uint32_t* available) {
    uint32_t index = addressChunk(address);
    uint32_t offset = addressOffset(address);
    ldomStorageChunk* c = access(index);
    if (!c) return nullptr;
    if (offset >= c->used_ || c->used_ - offset < minSize) {
        LOG_ERROR("Offset %d is out of bounds (%d) for storage chunk %c%d, chunkCount=%d",
                  static_cast<int>(offset), static_cast<int>(c->used_), letter_,
                  static_cast<int>(index), static_cast<int>(chunks_.size()));
        return nullptr;
    }
    if (available) *available = c->used_ - offset;
    return c->buf_ + offset;
}

bool ldomDataStorageManager::writeAt(uint32_t address, uint32_t offset, const void* src,
                                     uint32_t n) {
    uint64_t need = static_cast<uint64_t>(offset) + n;
    if (need > 0xFFFFFFFFu) return false;
    uint8_t* p = recordAt(address, static_cast<uint32_t>(need));
    if (!p) {
        LOG_ERROR("Modified is called for node which is not in memory");
        return false;
    }
    if (std::memcmp(p + offset, src, n) != 0) {
        std::memcpy(p + offset, src, n);
        chunks_[addressChunk(address)]->saved_ = false;
    }
    return true;
}

void ldomDataStorageManager::markModified(uint32_t address) {
    uint32_t index = addressChunk(address);
    if (index < chunks_.size()) chunks_[index]->saved_ = false;
}

bool ldomDataStorageManager::readFixed(uint32_t chunk, uint32_t offset, uint8_t* dst,
                                       uint32_t n) {
    std::memset(dst, 0, n);
    if (chunk >= chunks_.size()) return true;
    ldomStorageChunk* c = access(chunk);
    if (!c || static_cast<uint64_t>(offset) + n > c->used_) return false;
    std::memcpy(dst, c->buf_ + offset, n);
    return true;
}

bool ldomDataStorageManager::writeFixed(uint32_t chunk, uint32_t offset, const uint8_t* src,
                                        uint32_t n) {
    if (static_cast<uint64_t>(offset) + n > chunkSize_) return false;
    while (chunks_.size() <= chunk) {
        ldomStorageChunk* c = appendChunk(chunkSize_);
        if (!c) return false;
        c->used_ = chunkSize_;
        compact(0);
    }
    ldomStorageChunk* c = access(chunk);
    if (!c || static_cast<uint64_t>(offset) + n > c->used_) return false;
    if (std::memcmp(c->buf_ + offset, src, n) != 0) {
        std::memcpy(c->buf_ + offset, src, n);
        c->saved_ = false;
    }
    return true;
}

bool ldomDataStorageManager::swapOut(ldomStorageChunk* c) {
    if (!c->buf_) return true;
    if (!c->saved_) {
        DocCacheFile* cache = owner_ ? owner_->cacheFile() : nullptr;
        if (!cache || !cache->writeBlock(blockType_, c->index_, c->buf_, c->used_, true)) {
            // The chunk stays in memory; later swaps are refused.
            LOG_ERROR("Error while swapping of chunk %c%d to cache file", letter_, c->index_);
            if (owner_) owner_->setCacheFailed();
            return false;
        }
        c->saved_ = true;
    }
    freeBuffer(c);
    return true;
}

void ldomDataStorageManager::compact(uint32_t bytesToAdd) {
    uint64_t limit = memoryLimit_;
    if (bytesInMemory_ + bytesToAdd <= limit + limit / 10) return;
    if (!owner_ || owner_->cacheFailed()) return;
    // Without a cache file (and none can be created) every chunk stays in memory.
    if (!owner_->cacheFile() && !owner_->createCacheFile()) return;
    uint64_t total = 0;
    bool mostRecent = true;
    for (ldomStorageChunk* c = head_; c;) {
        ldomStorageChunk* next = c->older_;
        if (c->buf_) {
            total += c->bufSize_;
            // The chunk just used and the allocation chunk always stay.
            bool keep = mostRecent || c == current_ || total < limit;
            mostRecent = false;
            if (!keep && !swapOut(c)) return;
        }
        c = next;
    }
}

int ldomDataStorageManager::save(const TimeLimit& limit) {
    DocCacheFile* cache = owner_ ? owner_->cacheFile() : nullptr;
    if (!cache) return 2;
    for (ldomStorageChunk* c : chunks_) {
        if (!c->buf_ || c->saved_) continue;
        if (!cache->writeBlock(blockType_, c->index_, c->buf_, c->used_, true)) {
            LOG_ERROR("Error while swapping of chunk %c%d to cache file", letter_, c->index_);
            return 2;
        }
        c->saved_ = true;
        if (limit.expired()) return 1;
    }
    SerialBuffer index(4 + 4 * chunks_.size(), false);
    index.writeU32(static_cast<uint32_t>(chunks_.size()));
    for (const ldomStorageChunk* c : chunks_) index.writeU32(c->used_);
    if (index.error() ||
        !cache->writeBlock(blockType_, 0xFFFF, index.data(), index.pos(), true)) {
        LOG_ERROR("ldomDataStorageManager::save() - Cannot write chunk index");
        return 2;
    }
    return 0;
}

bool ldomDataStorageManager::load() {
    DocCacheFile* cache = owner_ ? owner_->cacheFile() : nullptr;
    std::vector<uint8_t> data;
    if (!cache || !cache->readBlock(blockType_, 0xFFFF, data)) {
        LOG_ERROR("ldomDataStorageManager::load() - Cannot read chunk index");
        return false;
    }
    SerialBuffer in(data.data(), data.size());
    uint32_t count = 0;
    if (!in.readU32(count) || count > kMaxLoadedChunks) return false;
    std::vector<uint32_t> sizes(count);
    for (uint32_t& s : sizes) {
        if (!in.readU32(s) || s > kMaxStoredChunkSize) return false;
    }
    for (ldomStorageChunk* c : chunks_) {
        std::free(c->buf_);
        delete c;
    }
    chunks_.clear();
    head_ = tail_ = current_ = nullptr;
    bytesInMemory_ = 0;
    for (uint32_t s : sizes) {
        ldomStorageChunk* c = appendChunk(0);
        c->used_ = s;
        c->saved_ = true;
    }
    return true;
}
