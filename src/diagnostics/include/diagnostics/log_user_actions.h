// The user-activity log: one line per action in a file per day below the system directory
// (LogFiles\Quillmere\swYYMMDD.log), in the ANSI code page, guarded by a named mutex that
// every process writing the log takes.
#pragma once

#include <atomic>

#include <winport/scoped_handle.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

class LogUserActions {
 public:
  // Opens the mutex and makes the folder. Either may fail: then nothing is ever written.
  LogUserActions();
  virtual ~LogUserActions();
  LogUserActions(const LogUserActions&) = delete;
  LogUserActions& operator=(const LogUserActions&) = delete;

  // Appends "time user action", starting the day's file with its header when this call
  // makes it. False when the log is off or the file can be neither opened nor made; true
  // once the file is open, even when writing then fails.
  virtual bool LogUserAction(const OLECHAR* user, const OLECHAR* action);

  // Off until switched on; nothing switches it off.
  void EnableUserActivityLog() { enabled_.store(true, std::memory_order_release); }
  const winport::WideString& Folder() const { return folder_; }

 private:
  // The day's file opened at its end, or made with its header; invalid when neither works.
  winport::ScopedHandle OpenDayFile() const;

  winport::ScopedHandle mutex_;
  winport::WideString folder_;  // empty when the system directory is unknown
  std::atomic<bool> enabled_{false};
};

}  // namespace quillmere
