// The outside log-file component: keeps every report it receives, served from this process
// as a local server for as long as the registration lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "diagnostics/log_file_writer.h"
#include "fakes/served_class.h"

namespace fakes {

class FakeLogFileWriter : public winport::ComObject<quillmere::ILogFileWriter> {
 public:
  HRESULT STDMETHODCALLTYPE WriteMessage(BSTR xml) override {
    std::lock_guard hold(mutex_);
    messages_.push_back(winport::WideToUtf8(winport::BstrView(xml)));
    return S_OK;
  }
  std::vector<std::string> Messages() const {
    std::lock_guard hold(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

class RegisteredLogFileWriter : public ServedClass<FakeLogFileWriter> {
 public:
  explicit RegisteredLogFileWriter(
      winport::ComPtr<FakeLogFileWriter> one = winport::MakeComObject<FakeLogFileWriter>())
      : ServedClass(
            __uuidof(quillmere::LogFileWriter), [one] { return one; }, CLSCTX_LOCAL_SERVER),
        writer(one) {}

  const winport::ComPtr<FakeLogFileWriter> writer;
};

}  // namespace fakes
