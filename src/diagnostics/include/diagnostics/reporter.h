// What the SOAP objects need of reporting: the report operations, the once-only
// initialisation they wait for, the level filter, and the level the setting-change
// notification replaces. The objects see nothing of the queue behind it.
#pragma once

#include <winport/windows.h>

#include "errors/report_sink.h"

namespace quillmere {

class Reporter : public ReportSink {
 public:
  virtual void EnsureInitialized() = 0;
  // Whether the effective level mask holds `level` now; errors pass the filter anyway.
  virtual bool LevelEnabled(DWORD level) const = 0;
  // Readers see the old or the new value.
  virtual void SetReportingLevel(DWORD level) = 0;

 protected:
  ~Reporter() = default;
};

}  // namespace quillmere
