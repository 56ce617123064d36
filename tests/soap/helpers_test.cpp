// The ways a method reaches the host's named objects: the caller's session and the
// "Extension" object.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <winport/wide.h>

#include "errors/error_message.h"
#include "test_host.h"

namespace {

using soap_testing::TestHost;
using soap_testing::TestObject;

struct Helpers {
  TestHost host;
  winport::ComPtr<TestObject> object =
      winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  Helpers() {
    host.reporting.SetReportingLevel(0);
    EXPECT_EQ(object->Init(host.service.Get()), S_OK);
  }
};

TEST(SessionHelpers, ReconnectAndPhantomReconnectFindTheCallersSession) {
  struct Row {
    const char* helper;
    HRESULT (quillmere::ISOAPObjectImpl::*call)(BSTR, quillmere::ISession**);
    const char* managerOperation;
  };
  const Row rows[] = {
      {"DoReconnect", &quillmere::ISOAPObjectImpl::DoReconnect, "Reconnect"},
      {"DoPhantomReconnect", &quillmere::ISOAPObjectImpl::DoPhantomReconnect, "PhantomReconnect"},
  };
  for (const Row& row : rows) {
    Helpers helpers;
    fakes::FakeSession& caller = helpers.host.sessions->AddCaller("tok-1", 1);
    winport::ScopedBstr token(OLESTR("tok-1"));
    winport::ComPtr<quillmere::ISession> session;

    EXPECT_EQ(((helpers.object.Get())->*row.call)(token.Get(), session.GetAddressOf()), S_OK)
        << row.helper;

    EXPECT_EQ(session.Get(), static_cast<quillmere::ISession*>(&caller)) << row.helper;
    EXPECT_EQ(helpers.host.sessions->log.Calls(), std::vector<std::string>{row.managerOperation});
  }
}

TEST(SessionHelpers, FailuresAreReturnedAndReportedUnderTheHelpersName) {
  struct Row {
    const char* name;
    std::function<void(Helpers&)> arrange;
    HRESULT expected;
    const char* source;
  };
  const Row rows[] = {
      {"unknown token", [](Helpers&) {}, static_cast<HRESULT>(0x800704DC),
       "ISOAPObjectImpl::DoPhantomReconnect"},
      {"no session manager", [](Helpers& h) { h.host.service->namedObjects.erase("Session"); },
       E_INVALIDARG, "ISOAPObjectImpl::GetNamedObjectQI"},
      {"session manager without the interface",
       [](Helpers& h) {
         h.host.service->namedObjects["Session"] = winport::MakeComObject<fakes::FakeSoapFault>();
       },
       E_NOINTERFACE, "ISOAPObjectImpl::GetNamedObjectQI"},
  };
  for (const Row& row : rows) {
    Helpers helpers;
    row.arrange(helpers);
    winport::ScopedBstr token(OLESTR("nobody"));
    winport::ComPtr<quillmere::ISession> session;

    EXPECT_EQ(helpers.object->DoPhantomReconnect(token.Get(), session.GetAddressOf()), row.expected)
        << row.name;

    EXPECT_EQ(session.Get(), nullptr) << row.name;
    const auto errors = soap_testing::ErrorsFrom(helpers.host.reporting, row.source);
    EXPECT_EQ(errors,
              std::vector<std::string>{"COM Error:  " +
                                       winport::WideToUtf8(quillmere::ErrorMessage(row.expected))})
        << row.name;
  }
}

class FakeExtension : public winport::ComObject<quillmere::IExtensionObject> {};

TEST(ExtensionLookup, TheHostIsAskedOnceAlsoWhenItHasNone) {
  Helpers helpers;
  EXPECT_EQ(helpers.object->GetExtension(), nullptr);
  EXPECT_EQ(helpers.object->GetExtension(), nullptr);
  EXPECT_EQ(helpers.host.service->log.Count("NamedObject"), 1);
}

TEST(SoapObjectThreads, TheExtensionIsLookedUpOnceByConcurrentFirstCallers) {
  Helpers helpers;
  auto extension = winport::MakeComObject<FakeExtension>();
  helpers.host.service->namedObjects["Extension"] = extension;
  std::vector<quillmere::IExtensionObject*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = helpers.object->GetExtension(); });
  }
  for (auto& thread : threads)
    thread.join();
  for (auto* found : seen)
    EXPECT_EQ(found, static_cast<quillmere::IExtensionObject*>(extension.Get()));
  EXPECT_EQ(helpers.host.service->log.Count("NamedObject"), 1);
}

}  // namespace
