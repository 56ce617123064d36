// The message-queue sender: the message-queue runtime bound at run time, so that the
// module loads and runs where message queuing is missing, and the one destination queue.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

#include "diagnostics/event_log_channel.h"

namespace quillmere {

// The runtime's functions, once bound. One per process (ForProcess); tests make their own.
// Written only while reporting initialises, read afterwards.
struct MsmqRuntime {
  static MsmqRuntime& ForProcess();

  bool bound = false;
  bool probed = false;     // the registry has been asked whether message queuing is there
  bool installed = false;  // it is
  bool failed = false;     // loading the runtime failed once: never tried again
  decltype(&MQCreateQueue) createQueue = nullptr;
  decltype(&MQOpenQueue) openQueue = nullptr;
  decltype(&MQPathNameToFormatName) pathNameToFormatName = nullptr;
  decltype(&MQMgmtGetInfo) mgmtGetInfo = nullptr;
  decltype(&MQSendMessage) sendMessage = nullptr;
  decltype(&MQCloseQueue) closeQueue = nullptr;
};

// Binds "mqrt.dll" when message queuing is installed; true once bound. The registry is
// asked once (warning 0x80000150 when it is missing); a library that cannot be loaded or
// lacks any of its nine functions is error 0xC0000151, final for the runtime.
bool LoadMsmqRuntime(MsmqRuntime& runtime, const EventLogChannel& events);

class MsmqQueue {
 public:
  static constexpr DWORD kDefaultCapacity = 10000;

  MsmqQueue(const MsmqRuntime& runtime, const EventLogChannel& events);
  // Closes the queue when it is open.
  ~MsmqQueue();
  MsmqQueue(const MsmqQueue&) = delete;
  MsmqQueue& operator=(const MsmqQueue&) = delete;

  // Creates the queue, or finds it when it exists, and opens it for sending. False, with
  // the failure reported, when the runtime is not bound or a step fails.
  bool Open(const OLECHAR* pathName, DWORD capacity);
  // True when nothing may be sent: no open queue, its count unknown, or at capacity
  // (error event 0xC0000155).
  bool IsFull() const;
  // The text's UTF-16LE code units as the body, without a terminator.
  void Send(winport::WideView xmlText) const;

  const winport::WideString& FormatName() const { return formatName_; }

 private:
  void Close();

  const MsmqRuntime& runtime_;
  const EventLogChannel& events_;
  winport::WideString pathName_ = OLESTR(".\\PRIVATE$\\WSQueue");
  winport::WideString formatName_;
  DWORD capacity_ = kDefaultCapacity;
  QUEUEHANDLE handle_ = nullptr;
};

}  // namespace quillmere
