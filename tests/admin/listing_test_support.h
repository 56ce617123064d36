// The test host with the "Administrator" object started, and the dialog a listing answers.
#pragma once

#include <string>
#include <vector>

#include "admin/administrator.h"
#include "fakes/fake_job_source.h"
#include "test_host.h"

namespace admin_testing {

struct AdminHost {
  soap_testing::TestHost host;
  winport::ComPtr<quillmere::CAdministrator> object =
      winport::MakeComObject<quillmere::CAdministrator>(host.reporting);

  AdminHost() {
    host.reporting.SetReportingLevel(2);
    host.sessions->AddCaller("tok-admin", 1);
    host.sessions->AddCaller("tok-user", 0x40);
    EXPECT_EQ(object->Init(host.service.Get()), S_OK);
  }

  soap_testing::Answer Ask(const std::string& method, const std::string& token = "tok-admin") {
    return host.Execute(object.Get(),
                        soap_testing::TestHost::Request(method, {{"IdentityToken", token}}).Get());
  }
};

// The XMLDATA parameters of a response.
inline std::vector<std::string> Documents(const soap_testing::Answer& answer) {
  std::vector<std::string> documents;
  for (const auto& parameter : answer.created->Parameters()) {
    EXPECT_EQ(parameter.accessor, "XMLDATA");
    EXPECT_TRUE(parameter.xml);
    documents.push_back(parameter.value);
  }
  return documents;
}

// The dialog around a listing element with body text (self-closing when it is empty).
inline std::string Dialog(const std::string& title, const std::string& element,
                          const std::string& body) {
  const std::string listing =
      body.empty() ? "<" + element + "/>" : "<" + element + ">" + body + "</" + element + ">";
  return "<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" "
         "txtcolor=\"#FFFFFF\" text=\"" +
         title + "\"/> \n</QMSDIALOGBAR> \n<QMSDIALOGCONTENT>" + listing +
         " \n</QMSDIALOGCONTENT> \n</QMSDIALOG>";
}

// The warnings delivered from source.
inline std::vector<std::string> WarningsFrom(testing_support::RecordingReporting& reporting,
                                             const std::string& source) {
  std::vector<std::string> texts;
  for (const auto& report : soap_testing::Delivered(reporting)) {
    if (report.level == 2 && report.source == source)
      texts.push_back(report.description.value_or(""));
  }
  return texts;
}

}  // namespace admin_testing
