// Reports reach the daily file through the class the host serves as a local server.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <winport/windows.h>

#include "diagnostics/log_file_writer.h"
#include "fresh_machine.h"
#include "host/log_file_writer_class.h"

namespace host_testing {
namespace {

using std::chrono::system_clock;

std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// 2026-03-04T23:59:59Z, and one second later the next day.
const system_clock::time_point kLastSecondOfDay{std::chrono::seconds(1772668799)};

class LogFileWriter : public testing::Test {
 protected:
  static HRESULT Write(const std::string& xml, DWORD context = quillmere::kLogFileWriterContext) {
    winport::ComPtr<quillmere::ILogFileWriter> writer;
    const HRESULT hr = CoCreateInstance(__uuidof(quillmere::LogFileWriter), nullptr, context,
                                        __uuidof(quillmere::ILogFileWriter),
                                        reinterpret_cast<void**>(writer.GetAddressOf()));
    if (FAILED(hr)) return hr;
    const winport::ScopedBstr text(winport::Utf8ToWide(xml).c_str());
    return writer->WriteMessage(text.Get());
  }

  winport::ScopedComInit apartment{COINIT_MULTITHREADED};
  const std::filesystem::path folder = testing_support::MachinePrefix() / "logs";
  system_clock::time_point now = kLastSecondOfDay;
  const quillmere::host::LogFileWriterClass served{folder, [this] { return now; }};
};

TEST_F(LogFileWriter, EachReportIsOneLineOfTheDaysFile) {
  ASSERT_EQ(Write("<REPORT a=\"1\">x\ny\r\nz</REPORT>"), S_OK);
  ASSERT_EQ(Write("<REPORT/>"), S_OK);
  now += std::chrono::seconds(1);
  ASSERT_EQ(Write("<NEXT/>"), S_OK);
  EXPECT_EQ(FileText(folder / "reports-20260304.log"),
            "<REPORT a=\"1\">x&#10;y&#13;&#10;z</REPORT>\n<REPORT/>\n");
  EXPECT_EQ(FileText(folder / "reports-20260305.log"), "<NEXT/>\n");
}

TEST_F(LogFileWriter, IsServedOnlyOutOfProcess) {
  EXPECT_EQ(Write("<REPORT/>", CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(LogFileWriter, ConcurrentReportsKeepTheirLinesWhole) {
  std::vector<std::thread> writers;
  std::set<std::string> sent;
  for (int w = 0; w < 4; ++w) {
    const std::string report = "<REPORT writer=\"" + std::to_string(w) + "\">" +
                               std::string(5000, static_cast<char>('a' + w)) + "</REPORT>";
    sent.insert(report);
    writers.emplace_back([report] {
      const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
      for (int i = 0; i < 50; ++i)
        EXPECT_EQ(Write(report), S_OK);
    });
  }
  for (auto& writer : writers)
    writer.join();
  std::istringstream lines(FileText(folder / "reports-20260304.log"));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count)
    ASSERT_EQ(sent.count(line), 1u) << line.substr(0, 40);
  EXPECT_EQ(count, 200);
}

}  // namespace
}  // namespace host_testing
