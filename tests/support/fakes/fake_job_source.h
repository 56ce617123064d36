// The outside job component: jobs by identity token, served from this process under
// its class id for as long as the registration lives.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "fakes/class_registration.h"
#include "soap/job_source.h"

namespace fakes {

class FakeJob : public winport::ComObject<quillmere::IJobRecord> {
 public:
  explicit FakeJob(std::string xml) : xml_(std::move(xml)) {}
  HRESULT STDMETHODCALLTYPE GetXml(BSTR* xml) override {
    *xml = xml_.empty() ? nullptr : SysAllocString(winport::Utf8ToWide(xml_).c_str());
    return S_OK;
  }

 private:
  std::string xml_;
};

// Walks a session's jobs; the source's log can make Next fail.
class FakeJobEnumerator : public winport::ComObject<quillmere::IJobEnumerator> {
 public:
  FakeJobEnumerator(std::vector<std::string> jobs, std::shared_ptr<CallLog> log)
      : jobs_(std::move(jobs)), log_(std::move(log)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, quillmere::IJobRecord** job,
                                 ULONG* fetched) override {
    *job = nullptr;
    if (fetched) *fetched = 0;
    FAKE_ENTER(*log_, "Next");
    if (count != 1) return E_INVALIDARG;
    if (next_ >= jobs_.size()) return S_FALSE;
    HandOut(static_cast<quillmere::IJobRecord*>(new FakeJob(jobs_[next_++])), job);
    if (fetched) *fetched = 1;
    return S_OK;
  }

 private:
  std::vector<std::string> jobs_;
  std::shared_ptr<CallLog> log_;
  size_t next_ = 0;
};

class FakeJobSource : public winport::ComObject<quillmere::IJobSource> {
 public:
  std::map<std::string, std::vector<std::string>> jobs;  // fragments by identity token
  std::map<std::string, HRESULT> answers;                // EnumJobs' answer by token, else S_OK
  std::shared_ptr<CallLog> enumeratorLog = std::make_shared<CallLog>();

  HRESULT STDMETHODCALLTYPE EnumJobs(BSTR token, quillmere::IJobEnumerator** out) override {
    *out = nullptr;
    const std::string key = winport::WideToUtf8(winport::BstrView(token));
    const auto answer = answers.find(key);
    if (answer != answers.end() && answer->second != S_OK) return answer->second;
    HandOut(
        static_cast<quillmere::IJobEnumerator*>(new FakeJobEnumerator(jobs[key], enumeratorLog)),
        out);
    return S_OK;
  }
};

class FakeJobSourceFactory : public winport::ComObject<IClassFactory> {
 public:
  explicit FakeJobSourceFactory(winport::ComPtr<FakeJobSource> source)
      : source_(std::move(source)) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    *object = nullptr;
    FAKE_ENTER(log, "CreateInstance");
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return source_->QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  CallLog log;

 private:
  winport::ComPtr<FakeJobSource> source_;
};

// The job component's class, served from this process for the object's life.
class RegisteredJobSource {
 public:
  HRESULT Registered() const { return registration_.Registered(); }

  winport::ComPtr<FakeJobSource> source = winport::MakeComObject<FakeJobSource>();
  winport::ComPtr<FakeJobSourceFactory> factory =
      winport::MakeComObject<FakeJobSourceFactory>(source);

 private:
  ClassRegistration registration_{__uuidof(quillmere::JobSource), factory.Get()};
};

}  // namespace fakes
