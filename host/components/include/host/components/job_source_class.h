// The job component's class (__uuidof(quillmere::JobSource)), served from the host's own
// process for as long as this lives, both in process and as a local server: the module
// activates it with every context and runs it with OleRun.
#pragma once

#include "host/common/class_object.h"
#include "host/components/job_table.h"

namespace quillmere::host {

class JobSourceClass {
 public:
  // The table must outlive this. Throws std::runtime_error when the class cannot be
  // registered.
  explicit JobSourceClass(JobTable& table);

 private:
  ServedClass served_;
};

}  // namespace quillmere::host
