#include <fcntl.h>

#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

#include <winport/com_object.h>
#include <winport/owner_only.h>

#include "host/common/bstr_text.h"
#include "host/common/com_boundary.h"
#include "host/common/utc_time.h"
#include "host/components/log_file_writer_class.h"
#include "posix_file.h"
#include "quillmere/log_file_writer.h"

namespace quillmere::host {
namespace {

// One report per line: line breaks inside the XML become character references, which an
// XML reader takes for the same characters.
std::string OneLine(std::string_view xml) {
  std::string line;
  line.reserve(xml.size() + 1);
  for (const char c : xml) {
    if (c == '\n') {
      line += "&#10;";
    } else if (c == '\r') {
      line += "&#13;";
    } else {
      line += c;
    }
  }
  line += '\n';
  return line;
}

class DailyLog {
 public:
  DailyLog(std::filesystem::path folder, LogFileWriterClass::Clock now)
      : folder_(std::move(folder)), now_(std::move(now)) {}

  HRESULT Append(std::string_view xml) {
    const std::string line = OneLine(xml);
    const std::lock_guard<std::mutex> hold(mutex_);
    std::error_code error;
    winport::machine::CreatePrivateDirectories(folder_, error);
    if (error) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const PosixFile file(folder_ / ("reports-" + UtcDate(now_()) + ".log"),
                         O_WRONLY | O_CREAT | O_APPEND);
    if (!file.IsOpen() || file.WriteAll(line) != 0) return E_FAIL;
    return S_OK;
  }

 private:
  const std::filesystem::path folder_;
  const LogFileWriterClass::Clock now_;
  std::mutex mutex_;
};

class LogFileWriter : public winport::ComObject<quillmere::ILogFileWriter> {
 public:
  explicit LogFileWriter(std::shared_ptr<DailyLog> log) : log_(std::move(log)) {}

  HRESULT STDMETHODCALLTYPE WriteMessage(BSTR xml) override {
    if (xml == nullptr) return E_INVALIDARG;
    return Guarded([&] { return log_->Append(Utf8Of(xml)); });
  }

 private:
  const std::shared_ptr<DailyLog> log_;
};

}  // namespace

LogFileWriterClass::LogFileWriterClass(std::filesystem::path logFolder, Clock now)
    : served_(
          __uuidof(quillmere::LogFileWriter),
          [log = std::make_shared<DailyLog>(std::move(logFolder), std::move(now))]() {
            return winport::ComPtr<IUnknown>(winport::MakeComObject<LogFileWriter>(log).Get());
          },
          CLSCTX_LOCAL_SERVER) {}

}  // namespace quillmere::host
