// The registry hive's text file (registry/machine.reg), as every process reads it when the
// file changed: a hive that parses, written and read again, is written the same.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "registry/registry_hive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  winport::registry::Hive hive;
  if (!winport::registry::Parse(quillmere::fuzz::Bytes(data, size), &hive)) return 0;
  const std::string written = winport::registry::Serialize(hive);
  winport::registry::Hive again;
  if (!winport::registry::Parse(written, &again))
    quillmere::fuzz::Broken("the hive written back does not parse");
  if (winport::registry::Serialize(again) != written)
    quillmere::fuzz::Broken("the hive written back reads as another hive");
  return 0;
}
