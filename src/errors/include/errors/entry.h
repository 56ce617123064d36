// The entry discipline of every operation the module offers: the structured-exception
// translator installed, a trace scope open, and the catch ladder around the body.
//
//   return RunEntry(reporting, OLESTR("CAdministrator::OnStart"), [&] { ...; return S_OK; });
//
// The body returns an HRESULT (or nothing, meaning S_OK). Whatever it throws is reported
// to the sink, left as the thread's error info and turned into the HRESULT returned.
#pragma once

#include <type_traits>
#include <utility>

#include <winport/windows.h>

#include "errors/report_sink.h"
#include "errors/structured_exception.h"
#include "errors/trace_scope.h"

namespace quillmere {

// The catch ladder, written once: call only inside a catch block; rethrows the exception
// in flight, reports it under source and answers the HRESULT to return.
HRESULT HandleEntryException(ReportSink& sink, const OLECHAR* source) noexcept;

template <class Body>
HRESULT RunEntry(ReportSink& sink, const OLECHAR* name, Body&& body) noexcept {
  ScopedSeTranslator translator;
  HRESULT hr = S_OK;
  try {
    TraceScope scope(sink, name);
    try {
      if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
        std::forward<Body>(body)();
      } else {
        hr = std::forward<Body>(body)();
      }
    } catch (...) {
      hr = HandleEntryException(sink, scope.Name());
    }
  } catch (...) {
    // Opening the scope failed (its trace could not be made): the ladder still answers.
    hr = HandleEntryException(sink, name);
  }
  return hr;
}

}  // namespace quillmere
