// What reaches each sink as the loaded settings say, and the settings read once.
#include <gtest/gtest.h>

#include <algorithm>

#include <winport/message_queuing.h>

#include "delivery_fixture.h"
#include "errors/com_error.h"
#include "fakes/fake_log_file_writer.h"
#include "fakes/served_class.h"
#include "fresh_machine.h"
#include "msmq/msmq_test_support.h"

namespace delivery_tests {
namespace {

class EventLogSwitch : public DeliveryTest, public testing::WithParamInterface<bool> {};

// Errors are written twice whatever the switch; level 3 is information, not an error.
TEST_P(EventLogSwitch, ErrorsAlwaysReachTheLogOtherLevelsWhenOn) {
  Load(SettingsMof(GetParam() ? "15 1" : "15 0"));
  DeliveringReporting reporting(runtime);
  reporting.Report(2, OLESTR("W"), OLESTR("warned"));
  reporting.Report(3, OLESTR("T"), OLESTR("three"));
  reporting.ReportError(OLESTR("E"), OLESTR("failed"), 5, OLESTR("here"));
  ASSERT_TRUE(reporting.WaitFor(3));
  std::vector<std::string> expected = {"SOAP Service C0000216 1 0"};
  if (GetParam())
    expected.insert(expected.end(),
                    {"SOAP Service 40000220 2 2|warned", "SOAP Service 40000220 4 0|three"});
  expected.insert(expected.end(),
                  {"Quillmere C0000007 1 0|failed", "SOAP Service 40000220 1 1|failed"});
  EXPECT_EQ(Events(), expected);
}
INSTANTIATE_TEST_SUITE_P(OffOn, EventLogSwitch, testing::Bool());

TEST_F(DeliveryTest, WalkStopsAtTheFirstMissingSettingWithOneEvent) {
  Load(SettingsMof("6 1 1 - 1 3 Q"));
  DeliveringReporting reporting(runtime);
  reporting.Report(2, nullptr, nullptr);
  reporting.Report(2, nullptr, nullptr);
  const quillmere::DeliverySettings& read = reporting.Settings();
  EXPECT_EQ(reporting.ReportingLevel(), 6u);
  EXPECT_TRUE(read.LogToEventLog && read.LogUserActivity && !read.LogToMSMQ);
  EXPECT_EQ(read.MSMQ_Capacity, 10000u);
  EXPECT_EQ(winport::WideToUtf8(read.MSMQ_Name), ".\\PRIVATE$\\WSQueue");
  const std::vector<std::string> events = Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "SOAP Service C0000216 1 0"), 1);
}

TEST_F(DeliveryTest, UnconvertibleSettingRaisesOutOfTheFirstReportOnly) {
  Load(settings_testing::Setting("ReportingLevel", 8, "StringValue = \"many\";"));
  DeliveringReporting reporting(runtime);
  EXPECT_THROW(reporting.Report(2, nullptr, nullptr), quillmere::_com_error);
  EXPECT_NO_THROW(reporting.Report(2, nullptr, nullptr));
}

// Message queuing absent, incomplete or stopped: said at initialisation, and for the
// first two not again for a second reporting object of the process.
struct MsmqCase {
  DWORD (*prepare)();
  const char* failing;  // a call that would say something if it were made
  DWORD error;
  unsigned nth;
  std::size_t times;
  const char* event;
};
void PrintTo(const MsmqCase& c, std::ostream* out) {
  *out << std::string(c.event).substr(13, 8);
}
class MsmqUnavailable : public DeliveryTest, public testing::WithParamInterface<MsmqCase> {};

TEST_P(MsmqUnavailable, IsSaidAtInitialisation) {
  const MsmqCase& c = GetParam();
  c.prepare();
  Load(SettingsMof("0 0 0 0 1 3 .\\\\PRIVATE$\\\\WSQueue"));
  winport::fault::FailCall(c.failing, c.error, c.nth);
  for (int i = 0; i < 2; ++i)
    DeliveringReporting(runtime).Report(2, nullptr, nullptr);
  EXPECT_EQ(Events(), std::vector<std::string>(c.times, c.event));
}
INSTANTIATE_TEST_SUITE_P(
    Cases, MsmqUnavailable,
    testing::Values(
        MsmqCase{winport::msmq::Uninstall, "LoadLibraryW", ERROR_MOD_NOT_FOUND, 1, 1,
                 "SOAP Service 80000150 2 0"},
        MsmqCase{winport::msmq::Install, "GetProcAddress", ERROR_PROC_NOT_FOUND, 6, 1,
                 "SOAP Service C0000151 1 1|Function [GetProcAddress()] returned Win32 Error: "
                 "0x7F (The specified procedure could not be found.\r\n)"},
        MsmqCase{[] { return winport::msmq::Install() | winport::msmq::Stop(); }, "", 0, 1, 2,
                 "SOAP Service 80000152 2 0"}));

// Five warnings, every sink on, a queue that holds three.
TEST_F(DeliveryTest, FiveWarningsReachEverySinkTheQueueTakingThree) {
  ASSERT_EQ(winport::msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  Load(SettingsMof("15 1 1 1 1 3 .\\\\PRIVATE$\\\\WSQueue"));
  const auto writer = winport::MakeComObject<fakes::FakeLogFileWriter>();
  const fakes::ServedClass<fakes::FakeLogFileWriter> served(
      __uuidof(quillmere::LogFileWriter), [writer] { return writer; }, CLSCTX_LOCAL_SERVER);
  {
    DeliveringReporting reporting(runtime);
    for (int i = 0; i < 5; ++i)
      reporting.Report(2, OLESTR("S"), OLESTR("warned"));
    ASSERT_TRUE(reporting.WaitFor(5));
  }
  const std::vector<std::string> events = Events();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const std::string& e) { return e.find(" 40000220 2 2|") != e.npos; }),
            5);
  EXPECT_EQ(std::count(events.begin(), events.end(), "SOAP Service C0000155 1 0"), 2);
  ASSERT_EQ(writer->messages.size(), 5u);

  WCHAR formatName[260];
  DWORD length = 260;
  ASSERT_EQ(MQPathNameToFormatName(OLESTR(".\\PRIVATE$\\WSQueue"), formatName, &length), MQ_OK);
  EXPECT_EQ(msmq_tests::Count(formatName), 3u);
  const QUEUEHANDLE queue = msmq_tests::OpenQueue(formatName, MQ_RECEIVE_ACCESS);
  std::string body;
  ASSERT_EQ(msmq_tests::Receive(queue, &body), MQ_OK);
  const winport::WideString first = winport::Utf8ToWide(writer->messages[0]);
  EXPECT_EQ(body, std::string(reinterpret_cast<const char*>(first.data()), first.size() * 2));
  MQCloseQueue(queue);
}

// The sender against stand-ins of the runtime: its queue's label, a queue that exists
// already, and each runtime call failing in turn.
HRESULT answers[4];  // of MQCreateQueue, MQOpenQueue, MQMgmtGetInfo, MQSendMessage
std::string label;   // the last queue's

TEST(MsmqSender, LabelsItsQueueAndSaysWhichCallFailed) {
  quillmere::MsmqRuntime runtime;
  runtime.bound = true;
  runtime.createQueue = [](PSECURITY_DESCRIPTOR, MQQUEUEPROPS* properties, LPWSTR, LPDWORD) {
    label = winport::WideToUtf8(properties->aPropVar[1].pwszVal);
    return answers[0];
  };
  runtime.pathNameToFormatName = [](LPCWSTR, LPWSTR, LPDWORD) { return MQ_OK; };
  runtime.openQueue = [](LPCWSTR, DWORD, DWORD, QUEUEHANDLE* handle) {
    *handle = &label;
    return answers[1];
  };
  runtime.mgmtGetInfo = [](LPCWSTR, LPCWSTR, MQMGMTPROPS*) { return answers[2]; };  // 0 held
  runtime.sendMessage = [](QUEUEHANDLE, MQMSGPROPS*, ITransaction*) { return answers[3]; };
  runtime.closeQueue = [](QUEUEHANDLE) { return MQ_OK; };
  // Path name, its label, the call that answers `answer`, and the function and code the
  // event names (none without a function).
  const std::tuple<const OLECHAR*, const char*, int, HRESULT, const char*, const char*> cases[] = {
      {OLESTR(".\\PRIVATE$\\WSQueue"), "WSQueue", 0, MQ_OK, "", ""},
      {OLESTR("Plain"), "Plain", 0, MQ_OK, "", ""},
      {OLESTR(".\\PRIVATE$\\Old"), "Old", 0, MQ_ERROR_QUEUE_EXISTS, "", ""},
      {OLESTR("Q"), "Q", 0, MQ_ERROR_ACCESS_DENIED, "MQCreateQueue", "0xC00E0025"},
      {OLESTR("Q"), "Q", 1, MQ_ERROR_QUEUE_NOT_FOUND, "MQOpenQueue", "0xC00E0003"},
      {OLESTR("Q"), "Q", 2, E_ACCESSDENIED, "MQMgmtGetInfo", "0x80070005"},
      {OLESTR("Q"), "Q", 3, E_OUTOFMEMORY, "MQSendMessage", "0x8007000E"},
  };
  for (const auto& [pathName, expectedLabel, failing, answer, function, code] : cases) {
    testing_support::LeaveFreshMachine();
    testing_support::EnterFreshMachine();
    std::fill(std::begin(answers), std::end(answers), MQ_OK);
    answers[failing] = answer;
    const quillmere::EventLogChannel channel;
    quillmere::MsmqQueue queue(runtime, channel);
    if (queue.Open(pathName, 1) && !queue.IsFull()) queue.Send(OLESTR("<R/>"));
    EXPECT_EQ(label, expectedLabel);
    const std::string said = std::string("SOAP Service C0000154 1 1|Function [MSMQ::") + function +
                             "] returned COM error: " + code;
    EXPECT_EQ(Events(), *function ? std::vector<std::string>{said} : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace delivery_tests
