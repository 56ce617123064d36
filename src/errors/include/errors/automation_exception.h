// An exception with an HRESULT and a message, in narrow or wide text. Nothing here throws
// it; the entry points catch it from whatever they call.
#pragma once

#include <string>
#include <utility>

#include <winport/windows.h>

namespace quillmere {

template <class Char>
class AutomationException {
 public:
  AutomationException(HRESULT hr, std::basic_string<Char> message)
      : hr_(hr), message_(std::move(message)) {}

  HRESULT Error() const noexcept { return hr_; }
  const std::basic_string<Char>& Message() const noexcept { return message_; }

 private:
  HRESULT hr_;
  std::basic_string<Char> message_;
};

}  // namespace quillmere
