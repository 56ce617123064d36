#include <string>
#include <utility>
#include <vector>

#include <winport/com_object.h>
#include "host/common/bstr_text.h"
#include "host/common/com_boundary.h"
#include "host/common/xml_text.h"
#include "host/components/job_source_class.h"
#include "quillmere/job_source.h"

namespace quillmere::host {
namespace {

std::string JobXml(const JobInfo& job) {
  return "<JOB id=\"" + EscapeXmlAttribute(job.id) + "\" name=\"" + EscapeXmlAttribute(job.name) +
         "\" submitted=\"" + job.submitted + "\"/>";
}

class JobRecord : public winport::ComObject<quillmere::IJobRecord> {
 public:
  explicit JobRecord(std::string xml) : xml_(std::move(xml)) {}

  HRESULT STDMETHODCALLTYPE GetXml(BSTR* xml) override {
    if (xml == nullptr) return E_POINTER;
    *xml = ToBstr(xml_);
    return *xml != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  const std::string xml_;
};

// Walks the session's jobs as they were when the walk began.
class JobEnumerator : public winport::ComObject<quillmere::IJobEnumerator> {
 public:
  explicit JobEnumerator(std::vector<JobInfo> jobs) : jobs_(std::move(jobs)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, quillmere::IJobRecord** job,
                                 ULONG* fetched) override {
    if (job == nullptr) return E_POINTER;
    *job = nullptr;
    if (fetched != nullptr) *fetched = 0;
    if (count != 1) return E_INVALIDARG;
    if (next_ == jobs_.size()) return S_FALSE;
    return Guarded([&] {
      const winport::ComPtr<quillmere::IJobRecord> record =
          winport::MakeComObject<JobRecord>(JobXml(jobs_[next_]));
      if (!record) return E_OUTOFMEMORY;
      ++next_;
      if (fetched != nullptr) *fetched = 1;
      return record.CopyTo(job);
    });
  }

 private:
  const std::vector<JobInfo> jobs_;
  size_t next_ = 0;
};

class JobSourceObject : public winport::ComObject<quillmere::IJobSource> {
 public:
  explicit JobSourceObject(const JobTable& table) : table_(table) {}

  // Every session has a job list, possibly empty; a missing token names no session.
  HRESULT STDMETHODCALLTYPE EnumJobs(BSTR identityToken,
                                     quillmere::IJobEnumerator** jobs) override {
    if (jobs == nullptr) return E_POINTER;
    *jobs = nullptr;
    if (SysStringLen(identityToken) == 0) return S_FALSE;
    return Guarded([&] {
      const winport::ComPtr<quillmere::IJobEnumerator> walk =
          winport::MakeComObject<JobEnumerator>(table_.Jobs(Utf8Of(identityToken)));
      if (!walk) return E_OUTOFMEMORY;
      return walk.CopyTo(jobs);
    });
  }

 private:
  const JobTable& table_;
};

}  // namespace

JobSourceClass::JobSourceClass(JobTable& table)
    : served_(
          __uuidof(quillmere::JobSource),
          [&table]() -> winport::ComPtr<IUnknown> {
            return winport::ComPtr<IUnknown>(winport::MakeComObject<JobSourceObject>(table).Get());
          },
          CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER) {}

}  // namespace quillmere::host
