// The event source "SOAP Service" with the process user's SID: the channel through which
// the report queue, its worker and the message-queue sender write their status events.
#pragma once

#include <memory>

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

class EventLogChannel {
 public:
  // Registers the source on the local machine and captures the user's SID; either may
  // fail, leaving the source or the SID null.
  EventLogChannel();
  ~EventLogChannel();
  EventLogChannel(const EventLogChannel&) = delete;
  EventLogChannel& operator=(const EventLogChannel&) = delete;

  const winport::WideString& SourceName() const { return sourceName_; }
  // Null when the source could not be registered: then nothing is written.
  HANDLE Source() const { return source_.get(); }
  // The process user's SID, or null.
  PSID UserSid() const { return userSid_.get(); }

  // One event with the user SID and no data, and with `text` as its one string when
  // not null. False when nothing was written.
  bool WriteEvent(WORD type, WORD category, DWORD eventId, const OLECHAR* text = nullptr) const;

  // Error event 0xC0000154, category 1, with "Function [<name>] returned COM error:
  // 0x<HR> (<description>)", the description being that of the thread's current error
  // info, which is taken (and cleared); without a description the part in brackets is
  // left out. False when nothing was written.
  bool ReportComError(const OLECHAR* functionName, HRESULT hr) const;

 private:
  struct Deregister {
    void operator()(HANDLE source) const { DeregisterEventSource(source); }
  };
  using SourceHandle = std::unique_ptr<void, Deregister>;

  winport::WideString sourceName_;
  SourceHandle source_;
  std::unique_ptr<BYTE[]> userSid_;
};

}  // namespace quillmere
