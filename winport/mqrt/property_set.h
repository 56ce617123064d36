// The property sets of the queue manager's calls (MQQUEUEPROPS, MQMSGPROPS, MQMGMTPROPS)
// share one shape: a count, the ids, the values, and an optional status per property.
#pragma once

#include <set>

#include <winport/windows_api.h>

namespace mqrt {

// Whether the set's arrays are there for its count of properties.
template <class Properties>
bool IsWellFormed(const Properties& properties) {
  return properties.cProp == 0 || (properties.aPropID != nullptr && properties.aPropVar != nullptr);
}

// Runs check(id, value) -> HRESULT on each property and records each status in the set's
// status array when it has one. A repeated id is MQ_INFORMATION_DUPLICATE_PROPERTY and
// not checked again. Answers the first error, else MQ_INFORMATION_PROPERTY when some
// property drew an information code, else MQ_OK.
template <class Properties, class Check>
HRESULT CheckEachProperty(const Properties& properties, Check check) {
  HRESULT result = MQ_OK;
  std::set<PROPID> seen;
  for (DWORD i = 0; i < properties.cProp; ++i) {
    const PROPID id = properties.aPropID[i];
    const HRESULT status = seen.insert(id).second ? check(id, properties.aPropVar[i])
                                                  : MQ_INFORMATION_DUPLICATE_PROPERTY;
    if (properties.aStatus != nullptr) properties.aStatus[i] = status;
    if (status < 0 && result >= 0) result = status;
    if (status > 0 && result == MQ_OK) result = MQ_INFORMATION_PROPERTY;
  }
  return result;
}

}  // namespace mqrt
