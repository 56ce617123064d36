// The host runs Execute on one object from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "test_host.h"

namespace {

TEST(SoapObjectThreads, ConcurrentRequestsEachGetTheirOwnAnswer) {
  constexpr int kThreads = 4;
  constexpr int kRequests = 50;
  // Every call also traces and reports: the reporter is called from every thread.
  soap_testing::Tester tester(
      {{"Echo",
        [](quillmere::ISOAPMessage* request, quillmere::ISOAPMessage* response) -> HRESULT {
          winport::ScopedBstr accessor(OLESTR("n"));
          winport::ScopedBstr value;
          if (FAILED(request->getStringParameterByAccessor(accessor.Get(), value.Receive())))
            return E_FAIL;
          response->addResponseParameter(accessor.Get(), value.Get(), VARIANT_TRUE);
          return quillmere::kMethodDoneDirectly;
        }},
       {"Fail", [](auto, auto) { return E_ACCESSDENIED; }}});

  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      soap_testing::Apartment apartment;
      for (int i = 0; i < kRequests; ++i) {
        const std::string n = std::to_string(t) + "-" + std::to_string(i);
        const bool fail = i % 5 == 0;
        auto request = soap_testing::TestHost::Request(fail ? "Fail" : "Echo", {{"n", n}});
        winport::ComPtr<quillmere::ISOAPMessage> slot;
        const HRESULT hr = tester.object->Execute(request.Get(), slot.GetAddressOf());
        auto* response = static_cast<fakes::FakeSoapMessage*>(slot.Get());
        const bool right =
            fail ? hr == S_FALSE && response->fault->code == quillmere::FaultCode::Server
                 : hr == S_OK &&
                       response->parameters == std::vector<fakes::Parameter>{{"n", n, true}};
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
