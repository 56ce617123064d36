// What reaches each sink as the loaded settings say, and the settings read once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <winport/message_queuing.h>

#include "delivery_fixture.h"
#include "diagnostics/report_forms.h"
#include "errors/com_error.h"
#include "fakes/fake_log_file_writer.h"
#include "msmq/msmq_test_support.h"

namespace delivery_tests {
namespace {

using testing::ElementsAre;
using testing::StartsWith;

constexpr const char* kQueueName = ".\\\\PRIVATE$\\\\WSQueue";

// An error, a warning and a report of level 3 with the event log on or off: an error is
// always written twice, other levels only when it is on, level 3 as information.
class EventLogSwitch : public DeliveryTest, public testing::WithParamInterface<bool> {};

TEST_P(EventLogSwitch, ErrorsAlwaysReachTheLogOtherLevelsWhenOn) {
  Load(SettingsMof("15", GetParam() ? "1" : "0", "0", "0", "0", "3", kQueueName));
  DeliveringReporting reporting(runtime);
  reporting.Report(2, OLESTR("W"), OLESTR("warned"));
  reporting.Report(3, OLESTR("T"), OLESTR("three"));
  reporting.ReportError(OLESTR("E"), OLESTR("failed"), 5, OLESTR("here"));
  ASSERT_TRUE(reporting.WaitFor(3));
  std::vector<std::string> expected;
  if (GetParam()) {
    expected = {"SOAP Service 40000220 2 2|warned\r\n\r\nSource:\t\tW",
                "SOAP Service 40000220 4 0|three\r\n\r\nSource:\t\tT"};
  }
  expected.push_back("Quillmere C0000007 1 0|failed\r\n\r\nSource:\t\tE\r\nLocation:\t\there");
  expected.push_back("SOAP Service 40000220 1 1|failed\r\n\r\nSource:\t\tE\r\nLocation:\t\there");
  const std::vector<std::string> events = Events();
  ASSERT_EQ(events.size(), expected.size());
  for (std::size_t i = 0; i < events.size(); ++i)
    EXPECT_THAT(events[i], StartsWith(expected[i]));
}

INSTANTIATE_TEST_SUITE_P(OffOn, EventLogSwitch, testing::Bool());

TEST_F(DeliveryTest, WalkStopsAtTheFirstMissingSettingOnce) {
  Load(SettingsMof("6", "1", "1", nullptr, "1", "3", "Q"));
  DeliveringReporting reporting(runtime);
  reporting.Report(4, OLESTR("S"), OLESTR("one"));
  reporting.Report(4, OLESTR("S"), OLESTR("two"));
  ASSERT_TRUE(reporting.WaitFor(2));
  EXPECT_EQ(reporting.ReportingLevel(), 6u);
  const quillmere::DeliverySettings& read = reporting.Settings();
  EXPECT_TRUE(read.LogToEventLog && read.LogUserActivity);
  EXPECT_FALSE(read.LogToFile || read.LogToMSMQ);
  EXPECT_EQ(read.MSMQ_Capacity, 10000u);
  EXPECT_EQ(winport::WideToUtf8(read.MSMQ_Name), ".\\PRIVATE$\\WSQueue");
  EXPECT_THAT(Events(),
              ElementsAre("SOAP Service C0000216 1 0", StartsWith("SOAP Service 40000220"),
                          StartsWith("SOAP Service 40000220")));
}

TEST_F(DeliveryTest, UnconvertibleSettingRaisesOutOfTheFirstReportOnly) {
  Load(settings_testing::Setting("ReportingLevel", 8, "StringValue = \"many\";"));
  DeliveringReporting reporting(runtime);
  EXPECT_THROW(reporting.Report(2, OLESTR("S"), OLESTR("first")), quillmere::_com_error);
  EXPECT_NO_THROW(reporting.Report(1, OLESTR("S"), OLESTR("second")));
  EXPECT_TRUE(reporting.IsInitialized());
}

// Five warnings with every sink on and a queue that holds three.
TEST_F(DeliveryTest, FiveWarningsReachEverySinkTheQueueTakingThree) {
  ASSERT_EQ(winport::msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  Load(SettingsMof("15", "1", "1", "1", "1", "3", kQueueName));
  const fakes::RegisteredLogFileWriter writer;
  {
    DeliveringReporting reporting(runtime);
    for (int i = 0; i < 5; ++i)
      reporting.Report(2, OLESTR("S"), OLESTR("warned"));
    ASSERT_TRUE(reporting.WaitFor(5));
  }
  std::vector<std::string> events = Events();
  EXPECT_EQ(std::count_if(
                events.begin(), events.end(),
                [](const std::string& e) { return e.find(" 40000220 2 2|") != std::string::npos; }),
            5);
  EXPECT_EQ(std::count(events.begin(), events.end(), "SOAP Service C0000155 1 0"), 2);
  ASSERT_EQ(writer.writer->Messages().size(), 5u);
  EXPECT_THAT(writer.writer->Messages()[0], StartsWith("<Msg><RprtLvl>2</RprtLvl><Src>S</Src>"));

  WCHAR formatName[260];
  DWORD length = 260;
  ASSERT_EQ(MQPathNameToFormatName(OLESTR(".\\PRIVATE$\\WSQueue"), formatName, &length), MQ_OK);
  ULONG count = 0;
  ASSERT_EQ(msmq_tests::CountMessages(formatName, &count), MQ_OK);
  EXPECT_EQ(count, 3u);
  const QUEUEHANDLE queue = msmq_tests::OpenQueue(formatName, MQ_RECEIVE_ACCESS);
  std::string body;
  ASSERT_EQ(msmq_tests::Receive(queue, &body), MQ_OK);
  const winport::WideString xml = winport::Utf8ToWide(writer.writer->Messages()[0]);
  EXPECT_EQ(body, std::string(reinterpret_cast<const char*>(xml.data()), xml.size() * 2));
  MQCloseQueue(queue);
}

}  // namespace
}  // namespace delivery_tests
