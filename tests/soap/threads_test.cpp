// The host runs Execute on one object from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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
