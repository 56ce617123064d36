#include "diagnostics/report_record.h"

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

// The free blocks of the pooled size. Emptied when the library goes; a record deleted after
// that frees its own block.
class BlockPool {
 public:
  ~BlockPool() {
    std::lock_guard hold(mutex_);
    closed_ = true;
    while (free_ != nullptr)
      ::operator delete(std::exchange(free_, free_->next));
  }

  void* Take() {
    {
      std::lock_guard hold(mutex_);
      if (free_ != nullptr) {
        --count_;
        return std::exchange(free_, free_->next);
      }
    }
    return ::operator new(kPooledBlockBytes);
  }

  void Give(void* block) noexcept {
    {
      std::lock_guard hold(mutex_);
      if (!closed_ && count_ < kPoolLimit) {
        free_ = ::new (block) FreeBlock{free_};
        ++count_;
        return;
      }
    }
    ::operator delete(block);
  }

 private:
  std::mutex mutex_;
  FreeBlock* free_ = nullptr;  // guarded by mutex_
  std::size_t count_ = 0;      // guarded by mutex_
  bool closed_ = false;        // guarded by mutex_
};

BlockPool g_blocks;

std::size_t TextLength(const OLECHAR* text) {
  std::size_t length = 0;
  if (text != nullptr)
    while (text[length] != 0)
      ++length;
  return length;
}

// The bytes a text takes in the block: its prefix, its characters and terminator, rounded
// up so the next prefix is aligned.
std::size_t TextBytes(const OLECHAR* text, std::size_t length) {
  if (text == nullptr) return 0;
  const std::size_t bytes = kPrefix + (length + 1) * sizeof(OLECHAR);
  return (bytes + kPrefix - 1) / kPrefix * kPrefix;
}

// Copies a text to `at` in BSTR form; answers the BSTR, null for null.
BSTR PlaceText(unsigned char*& at, const OLECHAR* text, std::size_t length) {
  if (text == nullptr) return nullptr;
  const DWORD byteCount = static_cast<DWORD>(length * sizeof(OLECHAR));
  std::memcpy(at, &byteCount, kPrefix);
  auto* const characters = reinterpret_cast<OLECHAR*>(at + kPrefix);
  std::memcpy(characters, text, length * sizeof(OLECHAR));
  characters[length] = 0;
  at += TextBytes(text, length);
  return characters;
}

}  // namespace

std::unique_ptr<ReportRecord> ReportRecord::Make(DWORD level, DWORD processId, DWORD threadId,
                                                 const OLECHAR* time, const OLECHAR* source,
                                                 const OLECHAR* location,
                                                 const OLECHAR* description, LONG errorNumber) {
  const OLECHAR* const texts[] = {time, source, location, description};
  std::size_t lengths[std::size(texts)];
  std::size_t textBytes = 0;
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    lengths[i] = TextLength(texts[i]);
    textBytes += TextBytes(texts[i], lengths[i]);
  }
  const bool pooled = textBytes <= kPooledTextBytes;
  void* const block = pooled ? g_blocks.Take() : ::operator new(sizeof(ReportRecord) + textBytes);

  std::unique_ptr<ReportRecord> record(::new (block) ReportRecord);
  record->pooled_ = pooled;
  record->level = level;
  record->processId = processId;
  record->threadId = threadId;
  record->errorNumber = errorNumber;
  auto* at = static_cast<unsigned char*>(block) + sizeof(ReportRecord);
  RecordText* const fields[] = {&record->time, &record->source, &record->location,
                                &record->description};
  for (std::size_t i = 0; i < std::size(texts); ++i)
    fields[i]->text_ = PlaceText(at, texts[i], lengths[i]);
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
