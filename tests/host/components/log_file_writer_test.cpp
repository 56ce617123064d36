// Reports reach the daily file through the class the host serves as a local server.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <winport/windows.h>

#include "fresh_machine.h"
#include "host/components/log_file_writer_class.h"
#include "quillmere/log_file_writer.h"

namespace host_testing {
namespace {

std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LogFileWriter : public testing::Test {
 protected:
  // As reporting finds the writer: never in process.
  static HRESULT Write(const std::string& xml) {
    winport::ComPtr<quillmere::ILogFileWriter> writer;
    const HRESULT hr = CoCreateInstance(
        __uuidof(quillmere::LogFileWriter), nullptr, quillmere::kLogFileWriterContext,
        __uuidof(quillmere::ILogFileWriter), reinterpret_cast<void**>(writer.GetAddressOf()));
    if (FAILED(hr)) return hr;
    const winport::ScopedBstr text(winport::Utf8ToWide(xml).c_str());
    return writer->WriteMessage(text.Get());
  }

  winport::ScopedComInit apartment{COINIT_MULTITHREADED};
  const std::filesystem::path folder = testing_support::MachinePrefix() / "logs";
  std::chrono::system_clock::time_point now{
      std::chrono::seconds(1772668799)};  // 2026-03-04T23:59:59Z
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

TEST_F(LogFileWriter, ConcurrentReportsKeepTheirLinesWhole) {
  std::vector<std::thread> writers;
  for (const char fill : {'a', 'b', 'c', 'd'}) {
    writers.emplace_back([fill] {
      const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
      for (int i = 0; i < 50; ++i)
        EXPECT_EQ(Write("<REPORT>" + std::string(5000, fill) + "</REPORT>"), S_OK);
    });
  }
  for (auto& writer : writers)
    writer.join();
  std::istringstream lines(FileText(folder / "reports-20260304.log"));
  std::map<std::string, int> seen;  // a line cut into by another would be a fifth kind
  for (std::string line; std::getline(lines, line);)
    ++seen[line];
  EXPECT_EQ(seen.size(), 4u);
  for (const auto& [line, count] : seen)
    EXPECT_EQ(count, 50) << line.substr(0, 10);
}

}  // namespace
}  // namespace host_testing
