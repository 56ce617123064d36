// The WQL the object manager answers (IWbemServices::ExecQuery's parser).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "wmi/wql_query.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  winport::wmi::WqlQuery query;
  const HRESULT hr = winport::wmi::ParseWqlQuery(quillmere::fuzz::WideText(data, size), &query);
  if (SUCCEEDED(hr) && query.class_name.empty())
    quillmere::fuzz::Broken("a query was read without a class");
  return 0;
}
