// The job component's class (__uuidof(quillmere::JobSource)), served from the host's own
// process for as long as this lives, both in process and as a local server: the module
// activates it with every context and runs it with OleRun.
#pragma once

#include <winport/windows.h>

#include "host/job_table.h"

namespace quillmere::host {

class JobSourceClass {
 public:
  // The table must outlive this. Throws std::runtime_error when the class cannot be
  // registered.
  explicit JobSourceClass(JobTable& table);
  ~JobSourceClass();
  JobSourceClass(const JobSourceClass&) = delete;
  JobSourceClass& operator=(const JobSourceClass&) = delete;

 private:
  DWORD cookie_ = 0;
};

}  // namespace quillmere::host
