// What the host tells its WMI data about sessions and worker pools, in plain values.
#pragma once

#include <string>

#include <winport/windows.h>

namespace quillmere::host {

struct SessionRow {
  LONG id = 0;
  std::string user, workstation;
  DATE started = 0;   // OLE automation date, UTC
  std::string token;  // links the session's jobs to it; never stored in WMI
};

struct PoolRow {
  std::string name;
  LONG threads = 0, busy = 0, queued = 0;
  LONG completed = 0;  // requests finished since the pool started
};

}  // namespace quillmere::host
