// The WQL this object manager answers: "SELECT * FROM Class" and
// "SELECT * FROM Class WHERE Property = 'value'" (or a number); keywords in any case.
#pragma once

#include <optional>

#include <winport/wide.h>

namespace winport::wmi {

struct WqlQuery {
  WideString class_name;
  struct Condition {
    WideString property;
    WideString value;
  };
  std::optional<Condition> where;
};

// WBEM_E_INVALID_QUERY for any other text.
HRESULT ParseWqlQuery(WideView text, WqlQuery* query);

}  // namespace winport::wmi
