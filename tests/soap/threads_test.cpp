// The host runs Execute on one object from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/reporting.h"
#include "test_host.h"

namespace {

using fakes::FakeSoapMessage;

TEST(SoapObjectThreads, ConcurrentRequestsEachGetTheirOwnAnswer) {
  constexpr int kThreads = 4;
  constexpr int kRequests = 50;
  // Every call also traces and reports: the reporter is called from every thread.
  soap_testing::Tester tester(
      {{"Echo",
        [](quillmere::ISOAPMessage* request, quillmere::ISOAPMessage* response) {
          static_cast<FakeSoapMessage*>(response)->parameters =
              static_cast<FakeSoapMessage*>(request)->parameters;
          return quillmere::kMethodDoneDirectly;
        }},
       {"Fail", [](auto, auto) { return E_ACCESSDENIED; }}});

  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
      for (int i = 0; i < kRequests; ++i) {
        const std::vector<fakes::Parameter> echo = {{"n", std::to_string(t * kRequests + i)}};
        const bool fail = i % 5 == 0;
        auto request = soap_testing::TestHost::Request(fail ? "Fail" : "Echo", echo);
        winport::ComPtr<quillmere::ISOAPMessage> slot;
        const HRESULT hr = tester.object->Execute(request.Get(), slot.GetAddressOf());
        auto* response = static_cast<FakeSoapMessage*>(slot.Get());
        const bool right =
            fail ? hr == S_FALSE && response->fault->code == quillmere::FaultCode::Server
                 : hr == S_OK && response->parameters == echo;
        if (!right) ++wrong;
      }
    });
  }
  for (auto& thread : threads)
    thread.join();

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(tester.messages.factory->Made().size(), size_t{kThreads * kRequests});
}

}  // namespace

// A changed setting replaces the level while other threads filter: each sees the old or
// the new level, never anything else, and the new one once the change is made.
TEST(SoapObjectThreads, ModifyReplacesTheLevelWhileOthersFilter) {
  quillmere::Reporting reporting;
  reporting.SetReportingLevel(quillmere::kLevelError);
  auto object = winport::MakeComObject<soap_testing::TestObject>(reporting, OLESTR("Tester"));
  winport::ComPtr<quillmere::ISetting> setting;
  ASSERT_EQ(object.As(&setting), S_OK);

  std::atomic<bool> changed{false};
  std::atomic<int> wrong{0};
  std::thread filter([&] {
    for (int i = 0; i < 20000; ++i) {
      const bool known = changed.load();
      const DWORD level = reporting.ReportingLevel();
      if (level != quillmere::kLevelError && level != 15) ++wrong;
      if (known && (level != 15 || !reporting.LevelEnabled(quillmere::kLevelWarning))) ++wrong;
    }
  });
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = 15;
  EXPECT_EQ(setting->Modify(nullptr, value), S_OK);
  changed.store(true);
  filter.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_TRUE(reporting.LevelEnabled(quillmere::kLevelInformation));
}
