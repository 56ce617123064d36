// The Application event log's file, line by line as ReadEvents and the writer's tail scan
// read it: a record that parses, written back, parses to the same record.
#include <cstddef>
#include <cstdint>

#include "eventlog/event_log_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace log = winport::eventlog::detail;
  const std::string_view contents = quillmere::fuzz::Bytes(data, size);
  std::size_t begin = 0;
  for (std::size_t end; (end = contents.find('\n', begin)) != std::string_view::npos;
       begin = end + 1) {
    const auto record = log::ParseRecord(contents.substr(begin, end - begin));
    if (!record) continue;
    const std::string written = log::FormatRecord(*record);
    const auto again = log::ParseRecord(written);
    if (!again || !(*again == *record))
      quillmere::fuzz::Broken("the record written back reads otherwise: " + written);
  }
  return 0;
}
