// The host's WMI classes in root\cimv2\quillmere: the settings (Metadata) it installs, and
// the instances it keeps current while it serves: one Session per live session, one Job per
// job, one VXPool per worker pool.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "host/components/job_table.h"
#include "host/components/wmi_records.h"

namespace quillmere::host {

// The CIMTYPE a setting is declared with in the host's MOF, whatever a later change stored
// (PutMetadata keeps a changed boolean as an integer); nothing for a setting it does not
// declare.
std::optional<LONG> DeclaredSettingType(std::string_view settingName);

class WmiData {
 public:
  // Compiles the host's MOF when one of its classes or settings is missing; settings already
  // stored keep their values. S_OK: compiled; S_FALSE: nothing was missing. Needs COM on
  // the calling thread.
  static HRESULT InstallMof();

  // Connects (after InstallMof: without the namespace every call answers E_UNEXPECTED), and
  // removes the Session, Job and VXPool instances an earlier run left (they describe a
  // process that is gone). Needs COM on the calling thread, as every call does.
  WmiData();
  // Removes this run's Session, Job and VXPool instances.
  ~WmiData();
  WmiData(const WmiData&) = delete;
  WmiData& operator=(const WmiData&) = delete;

  HRESULT SessionOpened(const SessionRow& session);
  HRESULT SessionClosed(const SessionRow& session);
  // The whole job table: instances of jobs no longer listed are removed.
  HRESULT JobsChanged(const std::vector<JobInfo>& jobs);
  HRESULT Pool(const PoolRow& pool);

 private:
  HRESULT Clear();

  std::mutex mutex_;
  winport::ComPtr<IWbemServices> services_;  // null when the namespace cannot be reached
  std::map<std::string, LONG> sessionIds_;   // by token
  std::set<std::string> jobIds_;             // Job instances stored
};

}  // namespace quillmere::host
