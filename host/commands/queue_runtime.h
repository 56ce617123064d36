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

// A queue on another computer as this machine's queue manager sees it.
struct OutgoingQueue {
  std::string formatName;
  std::string state;   // CONNECTED, WAITING, ERROR, INACTIVE
  std::string reason;  // why it is not CONNECTED
  ULONG waiting = 0;   // outgoing here, not yet confirmed by the broker
  ULONG messages = 0;  // at the broker plus waiting here
  ULONG duplicatesDropped = 0;
};

class QueueRuntime {
 public:
  // Fails when message queuing is not installed or not running, or mqrt cannot be bound.
  QueueRuntime();

  // Path names of this computer's private queues, by name.
  std::vector<std::string> PrivateQueues() const;
  // The format names of the outgoing queues (to queues on other computers).
  std::vector<std::string> ActiveQueues() const;
  // The format name of the queue a person named; fails when there is none.
  winport::WideString FormatName(std::string_view name) const;
  ULONG Count(const winport::WideString& formatName) const;
  // The outgoing queues, to queues on other computers.
  std::vector<OutgoingQueue> OutgoingQueues() const;

  // Keeps a handle open to send to each outgoing queue, which makes this process forward
  // what waits in them; closed with the object.
  class Forwarding {
   public:
    explicit Forwarding(const QueueRuntime& runtime);
    ~Forwarding();
    Forwarding(const Forwarding&) = delete;
    Forwarding& operator=(const Forwarding&) = delete;

   private:
    const QueueRuntime& runtime_;
    std::vector<QUEUEHANDLE> handles_;
  };

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
  std::vector<std::string> MachineList(MGMTPROPID property) const;

  winport::ScopedLibrary library_;
  decltype(&MQPathNameToFormatName) pathNameToFormatName_ = nullptr;
  decltype(&MQOpenQueue) openQueue_ = nullptr;
  decltype(&MQCloseQueue) closeQueue_ = nullptr;
  decltype(&MQReceiveMessage) receiveMessage_ = nullptr;
  decltype(&MQMgmtGetInfo) mgmtGetInfo_ = nullptr;
  decltype(&MQFreeMemory) freeMemory_ = nullptr;
};

}  // namespace quillmere::host
