// How callers name a queue to the message-queue runtime: path names (MQCreateQueue,
// MQPathNameToFormatName) and format names (MQOpenQueue, MQDeleteQueue). A private
// format name this computer writes for a queue it read names the same queue again.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "queue_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const winport::WideString text = quillmere::fuzz::WideText(data, size);
  mqrt::QueueReference path;
  if (mqrt::ParsePathName(text, &path) == MQ_OK && path.name.empty())
    quillmere::fuzz::Broken("a path name was read without a queue name");
  mqrt::QueueReference format;
  if (mqrt::ParseFormatName(text, &format) != MQ_OK || !format.name.empty()) return 0;
  const winport::WideString written = mqrt::PrivateFormatName(format.machine_id, format.number);
  mqrt::QueueReference again;
  if (mqrt::ParseFormatName(written, &again) != MQ_OK || again.machine_id != format.machine_id ||
      again.number != format.number)
    quillmere::fuzz::Broken("the private format name written back names another queue: " +
                            winport::WideToUtf8(written));
  return 0;
}
