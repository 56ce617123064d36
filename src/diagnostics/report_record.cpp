#include "diagnostics/report_record.h"

#include <atomic>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <utility>

namespace quillmere {

namespace {

// The room for the texts of a block of the usual size: a time stamp, a 60-character source
// and a 150-character description with their prefixes and terminators.
constexpr std::size_t kPooledTextBytes = 512;
constexpr std::size_t kPooledBlockBytes = sizeof(ReportRecord) + kPooledTextBytes;
// Blocks kept for reuse at most: as many as the records a busy worker has in flight.
constexpr std::size_t kPoolLimit = 1024;
// A text's length prefix, and what its place in the block is aligned to.
constexpr std::size_t kPrefix = sizeof(DWORD);

struct FreeBlock {
  FreeBlock* next;
};

void FreeAll(FreeBlock* block) noexcept {
  while (block != nullptr)
    ::operator delete(std::exchange(block, block->next));
}

// The free blocks of the pooled size, in two lists: the one deleted records give theirs back
// to, without a lock, so the worker never waits for a reporter; and the one reporters take
// from, under a lock only they take, refilled with the whole given list at once. Emptied when
// the library goes; a record deleted after that frees its own block.
class BlockPool {
 public:
  ~BlockPool() {
    closed_.store(true, std::memory_order_relaxed);
    FreeAll(given_.exchange(nullptr, std::memory_order_acquire));
    std::lock_guard hold(mutex_);
    FreeAll(std::exchange(taken_, nullptr));
  }

  void* Take() {
    {
      std::lock_guard hold(mutex_);
      if (taken_ == nullptr) {
        taken_ = given_.exchange(nullptr, std::memory_order_acquire);
        std::size_t count = 0;
        for (const FreeBlock* block = taken_; block != nullptr; block = block->next)
          ++count;
        givenCount_.fetch_sub(count, std::memory_order_relaxed);
      }
      if (taken_ != nullptr) return std::exchange(taken_, taken_->next);
    }
    return ::operator new(kPooledBlockBytes);
  }

  void Give(void* block) noexcept {
    if (closed_.load(std::memory_order_relaxed) ||
        givenCount_.fetch_add(1, std::memory_order_relaxed) >= kPoolLimit) {
      givenCount_.fetch_sub(1, std::memory_order_relaxed);
      ::operator delete(block);
      return;
    }
    auto* const freed = ::new (block) FreeBlock{given_.load(std::memory_order_relaxed)};
    while (!given_.compare_exchange_weak(freed->next, freed, std::memory_order_release,
                                         std::memory_order_relaxed)) {
    }
  }

 private:
  std::atomic<FreeBlock*> given_{nullptr};
  std::atomic<std::size_t> givenCount_{0};  // blocks in given_
  std::atomic<bool> closed_{false};
  std::mutex mutex_;
  FreeBlock* taken_ = nullptr;  // guarded by mutex_
};

BlockPool g_blocks;

// The characters before the terminator, looked at four at a time while none of the four
// is the terminator (the loads of one step do not wait for each other).
std::size_t TextLength(const OLECHAR* text) {
  std::size_t length = 0;
  while (text[length] != 0 && text[length + 1] != 0 && text[length + 2] != 0 &&
         text[length + 3] != 0)
    length += 4;
  while (text[length] != 0)
    ++length;
  return length;
}

// The bytes a text of `length` characters takes in a block: its prefix, its characters and
// terminator, rounded up so the next prefix is aligned.
constexpr std::size_t TextBytes(std::size_t length) {
  const std::size_t bytes = kPrefix + (length + 1) * sizeof(OLECHAR);
  return (bytes + kPrefix - 1) / kPrefix * kPrefix;
}

constexpr std::size_t kTexts = 4;

// Copies the texts in BSTR form into the `room` bytes at `at` and sets `placed` to them (null
// for null); false when they do not fit.
bool PlaceTexts(unsigned char* at, std::size_t room, const OLECHAR* const (&texts)[kTexts],
                BSTR (&placed)[kTexts]) {
  for (std::size_t i = 0; i < kTexts; ++i) {
    placed[i] = nullptr;
    const OLECHAR* const text = texts[i];
    if (text == nullptr) continue;
    const std::size_t length = TextLength(text);
    if (TextBytes(length) > room) return false;
    auto* const characters = reinterpret_cast<OLECHAR*>(at + kPrefix);
    std::memcpy(characters, text, length * sizeof(OLECHAR));
    characters[length] = 0;
    const DWORD byteCount = static_cast<DWORD>(length * sizeof(OLECHAR));
    std::memcpy(at, &byteCount, kPrefix);
    placed[i] = characters;
    at += TextBytes(length);
    room -= TextBytes(length);
  }
  return true;
}

}  // namespace

std::unique_ptr<ReportRecord> ReportRecord::Make(DWORD level, DWORD processId, DWORD threadId,
                                                 const OLECHAR* time, const OLECHAR* source,
                                                 const OLECHAR* location,
                                                 const OLECHAR* description, LONG errorNumber) {
  const OLECHAR* const texts[kTexts] = {time, source, location, description};
  BSTR placed[kTexts];
  // The usual record fits a pooled block.
  void* block = g_blocks.Take();
  bool pooled = true;
  if (!PlaceTexts(static_cast<unsigned char*>(block) + sizeof(ReportRecord), kPooledTextBytes,
                  texts, placed)) {
    g_blocks.Give(block);
    std::size_t textBytes = 0;
    for (const OLECHAR* text : texts)
      if (text != nullptr) textBytes += TextBytes(TextLength(text));
    block = ::operator new(sizeof(ReportRecord) + textBytes);
    pooled = false;
    PlaceTexts(static_cast<unsigned char*>(block) + sizeof(ReportRecord), textBytes, texts, placed);
  }

  std::unique_ptr<ReportRecord> record(::new (block) ReportRecord);
  record->pooled_ = pooled;
  record->level = level;
  record->processId = processId;
  record->threadId = threadId;
  record->errorNumber = errorNumber;
  RecordText* const fields[kTexts] = {&record->time, &record->source, &record->location,
                                      &record->description};
  for (std::size_t i = 0; i < kTexts; ++i)
    fields[i]->text_ = placed[i];
  return record;
}

void ReportRecord::operator delete(ReportRecord* record, std::destroying_delete_t) noexcept {
  const bool pooled = record->pooled_;
  record->~ReportRecord();
  if (pooled) {
    g_blocks.Give(record);
  } else {
    ::operator delete(record);
  }
}

}  // namespace quillmere
