// The ways a method reaches the host's named objects: the caller's session and the
// "Extension" object.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "test_host.h"

namespace {

using soap_testing::Tester;

TEST(SessionHelpers, ReconnectAndPhantomReconnectFindTheCallersSession) {
  const std::pair<HRESULT (quillmere::ISOAPObjectImpl::*)(BSTR, quillmere::ISession**), const char*>
      rows[] = {{&quillmere::ISOAPObjectImpl::DoReconnect, "Reconnect"},
                {&quillmere::ISOAPObjectImpl::DoPhantomReconnect, "PhantomReconnect"}};
  for (const auto& [helper, managerOperation] : rows) {
    Tester tester;
    fakes::FakeSession& caller = tester.sessions->AddCaller("tok-1", quillmere::GroupAdmin);
    winport::ScopedBstr token(OLESTR("tok-1"));
    winport::ComPtr<quillmere::ISession> session;
    EXPECT_EQ(((tester.object.Get())->*helper)(token.Get(), session.GetAddressOf()), S_OK);
    EXPECT_EQ(session.Get(), static_cast<quillmere::ISession*>(&caller));
    EXPECT_EQ(tester.sessions->log.Calls(), std::vector<std::string>{managerOperation});
  }
}

// Each helper is an entry: a failure is reported by the helper that met it and by each
// helper it passes through, with its code.
TEST(SessionHelpers, FailuresAreReturnedAndReportedUnderTheHelpersNames) {
  const std::tuple<std::function<void(Tester&)>, HRESULT, std::vector<std::string>> rows[] = {
      {[](Tester&) {}, quillmere::kNotAuthenticated, {"ISOAPObjectImpl::DoPhantomReconnect"}},
      // An object that is not a session manager.
      {[](Tester& t) {
         t.service->namedObjects["Session"] = winport::MakeComObject<fakes::FakeSoapFault>();
       },
       E_NOINTERFACE,
       {"ISOAPObjectImpl::GetNamedObjectQI", "ISOAPObjectImpl::DoPhantomReconnect"}},
  };
  for (const auto& [arrange, expected, reportedBy] : rows) {
    Tester tester;
    arrange(tester);
    winport::ScopedBstr token(OLESTR("nobody"));
    winport::ComPtr<quillmere::ISession> session;

    EXPECT_EQ(tester.object->DoPhantomReconnect(token.Get(), session.GetAddressOf()), expected);

    EXPECT_EQ(session.Get(), nullptr);
    std::vector<std::string> sources;
    for (const auto& report : tester.reporting.Reports()) {
      if (report.kind != testing_support::ReportCall::Kind::kReportError) continue;
      EXPECT_EQ(report.errorNumber, expected);
      sources.push_back(report.source);
    }
    EXPECT_EQ(sources, reportedBy);
  }
}

class FakeExtension : public winport::ComObject<quillmere::IExtensionObject> {};

// Concurrent first callers included, and also when the host has none.
TEST(SoapObjectThreads, TheExtensionIsLookedUpOnce) {
  for (const bool hostHasOne : {true, false}) {
    Tester tester;
    auto extension = winport::MakeComObject<FakeExtension>();
    if (hostHasOne) tester.service->namedObjects["Extension"] = extension;
    std::vector<quillmere::IExtensionObject*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
      threads.emplace_back([&, i] { seen[i] = tester.object->GetExtension(); });
    for (auto& thread : threads)
      thread.join();
    for (auto* found : seen)
      EXPECT_EQ(found, hostHasOne ? extension.Get() : nullptr);
    EXPECT_EQ(tester.object->GetExtension(), seen[0]);
    EXPECT_EQ(tester.service->log.Count("NamedObject"), 1);
  }
}

}  // namespace
