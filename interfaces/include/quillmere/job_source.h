// The outside job component: the jobs that belong to a session, by its identity token.
#pragma once

#include <winport/windows.h>

#include "quillmere/guids.h"

namespace quillmere {

struct IJobRecord : public IUnknown {
  // Markup describing the job.
  virtual HRESULT STDMETHODCALLTYPE GetXml(BSTR* xml) = 0;
};

struct IJobEnumerator : public IUnknown {
  // S_OK: one job; another success: no more jobs; a failure: the jobs cannot be walked.
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IJobRecord** job, ULONG* fetched) = 0;
};

struct IJobSource : public IUnknown {
  // S_OK: the session's jobs; another success: the session has no job list.
  virtual HRESULT STDMETHODCALLTYPE EnumJobs(BSTR identityToken, IJobEnumerator** jobs) = 0;
};

}  // namespace quillmere
