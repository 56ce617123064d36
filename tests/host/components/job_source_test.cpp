// The job table, and its jobs as the module walks them through the job source class.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winport/windows.h>

#include "host/components/job_source_class.h"
#include "quillmere/job_source.h"

namespace host_testing {
namespace {

using quillmere::host::JobTable;

TEST(JobTable, KeepsEachSessionsJobsUntilCancelledOrDropped) {
  JobTable table;
  int changes = 0;
  table.changed = [&] { ++changes; };
  const std::string first = table.Submit("a", "nightly");
  const std::string second = table.Submit("b", "weekly");
  const std::string third = table.Submit("a", "monthly");
  EXPECT_EQ(table.Jobs("a").back().id, third);
  EXPECT_FALSE(table.Cancel("b", first));  // not b's job
  EXPECT_TRUE(table.Cancel("a", first));
  EXPECT_FALSE(table.Cancel("a", first));
  EXPECT_EQ(table.Count("a"), 1);
  table.DropSession("a");
  table.DropSession("nobody");
  ASSERT_EQ(table.All().size(), 1u);
  EXPECT_EQ(table.All().front().id, second);
  EXPECT_EQ(changes, 5);  // three submissions, one cancellation, one session dropped
}

TEST(JobTable, RefusesNamesItCannotShowAndSessionsWithTooManyJobs) {
  JobTable table;
  for (const std::string& name : {std::string(), std::string(257, 'x'), std::string("a\nb")})
    EXPECT_THROW(table.Submit("a", name), quillmere::host::JobError) << name;
  table.Submit("a", std::string(256, 'x'));
  for (size_t i = 1; i < quillmere::host::kMaxJobsPerSession; ++i)
    table.Submit("a", "job");
  EXPECT_THROW(table.Submit("a", "one more"), quillmere::host::JobError);
  EXPECT_NO_THROW(table.Submit("b", "another session's"));
}

// As the module does: every context, then OleRun, then the job interface.
HRESULT Activate(winport::ComPtr<quillmere::IJobSource>& source) {
  winport::ComPtr<IUnknown> object;
  HRESULT hr = CoCreateInstance(__uuidof(quillmere::JobSource), nullptr, CLSCTX_ALL, IID_IUnknown,
                                reinterpret_cast<void**>(object.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = OleRun(object.Get());
  return SUCCEEDED(hr) ? object.As(&source) : hr;
}

// The fragments of the token's jobs, or EnumJobs' answer when it is not S_OK.
std::vector<std::string> Walk(quillmere::IJobSource* source, const OLECHAR* token) {
  winport::ComPtr<quillmere::IJobEnumerator> jobs;
  const HRESULT hr = source->EnumJobs(winport::ScopedBstr(token).Get(), jobs.GetAddressOf());
  if (hr != S_OK) return {"EnumJobs " + std::to_string(hr)};
  std::vector<std::string> fragments;
  winport::ComPtr<quillmere::IJobRecord> job;
  ULONG fetched = 0;
  while (jobs->Next(1, job.ReleaseAndGetAddressOf(), &fetched) == S_OK && fetched == 1) {
    winport::ScopedBstr xml;
    EXPECT_EQ(job->GetXml(xml.Receive()), S_OK);
    fragments.push_back(winport::WideToUtf8(winport::BstrView(xml.Get())));
  }
  EXPECT_EQ(fetched, 0u);
  return fragments;
}

TEST(JobSource, TheModuleWalksEachSessionsJobsThroughTheClass) {
  const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
  JobTable table;
  const std::string id = table.Submit("token-a", "a & <b>");
  table.Submit("token-b", "other");
  const std::string submitted = table.All().front().submitted;
  winport::ComPtr<quillmere::IJobSource> source;
  {
    const quillmere::host::JobSourceClass served(table);
    ASSERT_EQ(Activate(source), S_OK);
    EXPECT_EQ(
        Walk(source.Get(), OLESTR("token-a")),
        std::vector<std::string>{"<JOB id=\"" + id + "\" name=\"a &amp; &lt;b&gt;\" submitted=\"" +
                                 submitted + "\"/>"});
    EXPECT_EQ(Walk(source.Get(), OLESTR("token-c")), std::vector<std::string>{});
    EXPECT_EQ(Walk(source.Get(), OLESTR("")), std::vector<std::string>{"EnumJobs 1"});
  }
  winport::ComPtr<quillmere::IJobSource> gone;
  EXPECT_EQ(Activate(gone), REGDB_E_CLASSNOTREG);
}

}  // namespace
}  // namespace host_testing
