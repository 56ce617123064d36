#include "admin/admin_job_list.h"

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "quillmere/job_source.h"

namespace quillmere {

namespace {

using winport::ComPtr;
using winport::ScopedBstr;

// The job component, made once per call; a call without one fails on its first session.
ComPtr<IJobSource> CreateJobSource() {
  ComPtr<IUnknown> created;
  if (FAILED(CoCreateInstance(
          __uuidof(JobSource), nullptr,
          CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
          __uuidof(IUnknown), reinterpret_cast<void**>(created.GetAddressOf()))) ||
      FAILED(OleRun(created.Get()))) {
    return {};
  }
  ComPtr<IJobSource> source;
  created.As(&source);
  return source;
}

class JobListWriter : public SessionWriter {
 public:
  explicit JobListWriter(const ListingCall& call) : call_(call), source_(CreateJobSource()) {}

  SessionWalk AppendBody(ISessionRecord& session, winport::WideString& listing) override {
    ScopedBstr token;
    CheckHr(session.GetIdentityToken(token.Receive()));
    if (!source_) RaiseComErrorWithoutInfo(E_POINTER);
    ComPtr<IJobEnumerator> jobs;
    // A positive answer: the session has no job list.
    if (CheckHr(source_->EnumJobs(token.Get(), jobs.GetAddressOf())) != S_OK)
      return SessionWalk::kGoOn;
    if (!jobs) RaiseComErrorWithoutInfo(E_POINTER);

    winport::WideString jobList = OLESTR("<JOBLIST>");
    if (!RunIgnoringFailure([&] { AppendJobs(*jobs.Get(), jobList); })) {
      // Nothing of the listing is returned when one session's jobs cannot be walked. A
      // fault that cannot be set raises, for the session walk's own guard.
      call_.Warn(OLESTR("Admin - Jobs Enum next failed"));
      call_.Fault(OLESTR("Job Enumerator"), FaultCode::Server);
      return SessionWalk::kAnswered;
    }
    jobList += OLESTR("</JOBLIST>");
    listing += jobList;
    return SessionWalk::kGoOn;
  }

 private:
  static void AppendJobs(IJobEnumerator& jobs, winport::WideString& jobList) {
    for (;;) {
      ComPtr<IJobRecord> job;
      ULONG fetched = 0;
      if (CheckHr(jobs.Next(1, job.GetAddressOf(), &fetched)) != S_OK) return;
      if (!job) RaiseComErrorWithoutInfo(E_POINTER);
      ScopedBstr fragment;
      job->GetXml(fragment.Receive());  // a job without markup is left out
      jobList += winport::BstrView(fragment.Get());
    }
  }

  const ListingCall& call_;
  ComPtr<IJobSource> source_;
};

}  // namespace

CAdminJobList::CAdminJobList(ISOAPObjectImpl& owner)
    : CSessionListing(owner, {OLESTR("AdminJobList"), OLESTR("CAdminJobList::execute::execute"),
                              OLESTR("ADMINJOBLIST"), OLESTR("Administrative Session Job List")}) {}

std::unique_ptr<SessionWriter> CAdminJobList::StartWalk(const ListingCall& call) const {
  return std::make_unique<JobListWriter>(call);
}

}  // namespace quillmere
