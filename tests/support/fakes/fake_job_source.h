// The outside job component: jobs by identity token, served from this process under
// its class id for as long as the registration lives.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "fakes/served_class.h"
#include "quillmere/job_source.h"

namespace fakes {

class FakeJob : public winport::ComObject<quillmere::IJobRecord> {
 public:
  explicit FakeJob(std::string xml) : xml_(std::move(xml)) {}
  HRESULT STDMETHODCALLTYPE GetXml(BSTR* xml) override {
    *xml = xml_.empty() ? nullptr : NewBstr(xml_);
    return S_OK;
  }

 private:
  std::string xml_;
};

class FakeJobSource : public winport::ComObject<quillmere::IJobSource> {
 public:
  std::map<std::string, std::vector<std::string>> jobs;  // fragments by identity token
  std::map<std::string, HRESULT> answers;                // EnumJobs' answer by token, else S_OK
  std::shared_ptr<CallLog> enumeratorLog = std::make_shared<CallLog>();

  HRESULT STDMETHODCALLTYPE EnumJobs(BSTR token, quillmere::IJobEnumerator** out) override {
    *out = nullptr;
    const auto answer = answers.find(Utf8(token));
    if (answer != answers.end() && answer->second != S_OK) return answer->second;
    std::vector<winport::ComPtr<FakeJob>> made;
    for (const std::string& xml : jobs[Utf8(token)])
      made.push_back(winport::MakeComObject<FakeJob>(xml));
    using Walk = FakeWalk<quillmere::IJobEnumerator, quillmere::IJobRecord, FakeJob>;
    HandOut(static_cast<quillmere::IJobEnumerator*>(new Walk(made, enumeratorLog)), out);
    return S_OK;
  }
};

// The job component's class: every instance made is the one source.
class RegisteredJobSource : public ServedClass<FakeJobSource> {
 public:
  explicit RegisteredJobSource(
      winport::ComPtr<FakeJobSource> one = winport::MakeComObject<FakeJobSource>())
      : ServedClass(__uuidof(quillmere::JobSource), [one] { return one; }), source(one) {}

  const winport::ComPtr<FakeJobSource> source;
};

}  // namespace fakes
