// The outside log-file component, keeping every report it receives. Serve it with
// ServedClass under __uuidof(quillmere::LogFileWriter) as a CLSCTX_LOCAL_SERVER.
#pragma once

#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "quillmere/log_file_writer.h"

namespace fakes {

class FakeLogFileWriter : public winport::ComObject<quillmere::ILogFileWriter> {
 public:
  HRESULT STDMETHODCALLTYPE WriteMessage(BSTR xml) override {
    messages.push_back(winport::WideToUtf8(winport::BstrView(xml)));
    return S_OK;
  }
  // Read once the reporting worker has stopped.
  std::vector<std::string> messages;
};

}  // namespace fakes
