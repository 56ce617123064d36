// The queue manager's runtime as the operator's commands use it: bound by name, as every
// program binds mqrt.dll, with queues named the short way and failures turned into
// one-line reasons.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <winport/mq.h>
#include <winport/scoped_library.h>
#include <winport/wide.h>

namespace quillmere::host {

// "Reports" is this computer's private queue ".\PRIVATE$\Reports"; a name with a
// backslash is a path name already.
winport::WideString QueuePathName(std::string_view name);

// A message body as text: the module sends UTF-16, other senders UTF-8.
std::string BodyText(const BYTE* body, size_t size);

class QueueRuntime {
 public:
  // Fails when message queuing is not installed or not running, or mqrt cannot be bound.
  QueueRuntime();

  // Path names of this computer's private queues, by name.
  std::vector<std::string> PrivateQueues() const;
  // The format name of the queue a person named; fails when there is none.
  winport::WideString FormatName(std::string_view name) const;
  ULONG Count(const winport::WideString& formatName) const;

  // One queue opened for peeking or receiving, closed with the reader.
  class Reader {
   public:
    Reader(const QueueRuntime& runtime, std::string_view name, DWORD access);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The first message's body, taken out of the queue when remove is set; nullopt when
    // none arrives within timeoutMs (INFINITE waits for one).
    std::optional<std::string> Next(DWORD timeoutMs, bool remove);

   private:
    const QueueRuntime& runtime_;
    std::string name_;
    QUEUEHANDLE handle_ = nullptr;
    std::vector<BYTE> buffer_;
  };

 private:
  winport::ScopedLibrary library_;
  decltype(&MQPathNameToFormatName) pathNameToFormatName_ = nullptr;
  decltype(&MQOpenQueue) openQueue_ = nullptr;
  decltype(&MQCloseQueue) closeQueue_ = nullptr;
  decltype(&MQReceiveMessage) receiveMessage_ = nullptr;
  decltype(&MQMgmtGetInfo) mgmtGetInfo_ = nullptr;
  decltype(&MQFreeMemory) freeMemory_ = nullptr;
};

}  // namespace quillmere::host
