// The host with the "Administrator" object started, and what its tests read back.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <winport/wide.h>

#include "admin/administrator.h"
#include "errors/error_message.h"
#include "fakes/fake_job_source.h"
#include "test_host.h"

namespace admin_testing {

using quillmere::GroupAdmin;

// The host with "Administrator" started and the job component served; "tok-admin" is an
// administrator, "tok-user" not.
struct AdminHost {
  soap_testing::TestHost host;
  fakes::RegisteredJobSource jobs;
  winport::ComPtr<quillmere::CAdministrator> object =
      winport::MakeComObject<quillmere::CAdministrator>(host.reporting);

  std::function<void(fakes::FakeSoapMessage&)> prepareRequest;

  AdminHost() {
    host.reporting.SetReportingLevel(quillmere::kLevelWarning);
    host.sessions->AddCaller("tok-admin", GroupAdmin);
    host.sessions->AddCaller("tok-user", quillmere::GroupPortal);
    EXPECT_EQ(object->Init(host.service.Get()), S_OK);
  }

  // token null: the request carries none. dictionary: the method element's children.
  soap_testing::Answer Ask(const std::string& method, const char* token = "tok-admin",
                           const std::string& dictionary = {}) {
    std::vector<fakes::Parameter> parameters;
    if (token != nullptr) parameters.push_back({"IdentityToken", token});
    auto request = soap_testing::TestHost::Request(method, parameters);
    request->dictionary = dictionary;
    if (prepareRequest) prepareRequest(*request.Get());
    return host.Execute(object.Get(), request.Get());
  }
};

using soap_testing::Documents;

inline std::string Text(HRESULT hr) {
  return winport::WideToUtf8(quillmere::ErrorMessage(hr));
}
}  // namespace admin_testing
