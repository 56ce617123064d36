// What a monitor asks of the machine the host serves from: the report queue's settings in
// WMI, how many messages wait in a queue, the event-log records written, the process's
// memory and descriptors. Each answer is a few reads of what the machine already keeps;
// nothing here changes it. The WMI and queue probes need COM on the calling thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include <winport/mq.h>
#include <winport/scoped_library.h>

namespace quillmere::host {

struct ReportQueueSettings {
  std::string pathName;  // MSMQ_Name
  long capacity = 0;     // MSMQ_Capacity
};

// The settings as the module reads them; nullopt, with the reason in `failure`, when the
// WMI repository cannot be read.
std::optional<ReportQueueSettings> ReadReportQueueSettings(std::string& failure);

// The message-queue runtime, bound by name once and kept.
class QueueCounter {
 public:
  // The messages waiting in the queue of that path name; nullopt when message queuing is
  // not running or the queue does not exist.
  std::optional<unsigned long> Count(const std::string& pathName);

 private:
  std::mutex mutex_;
  winport::ScopedLibrary library_;
  decltype(&MQPathNameToFormatName) formatName_ = nullptr;
  decltype(&MQMgmtGetInfo) mgmtGetInfo_ = nullptr;
};

// The records written to the machine's event log since the counter was made, by anyone
// (the module, and the host's own commands).
class EventCounter {
 public:
  EventCounter();
  std::uint64_t Written();

 private:
  std::mutex mutex_;
  std::uint64_t start_ = 0;   // the newest record's number when counting began
  std::uint64_t newest_ = 0;  // the newest record's number seen
};

struct ProcessUsage {
  std::uint64_t residentBytes = 0;
  std::uint64_t openDescriptors = 0;
};
ProcessUsage ReadProcessUsage();

}  // namespace quillmere::host
