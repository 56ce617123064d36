// The message-queue sender against a runtime of stand-ins: the label its queue is created
// with, a queue that exists already, and each runtime call failing in turn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "delivery_fixture.h"
#include "diagnostics/msmq_queue.h"
#include "fresh_machine.h"

namespace delivery_tests {
namespace {

// What each stand-in answers, and the label the queue was last created with.
struct Answers {
  HRESULT create = MQ_OK;
  HRESULT open = MQ_OK;
  HRESULT info = MQ_OK;
  HRESULT send = MQ_OK;
};
Answers answers;
std::string label;

HRESULT WINAPI CreateQueue(PSECURITY_DESCRIPTOR, MQQUEUEPROPS* properties, LPWSTR, LPDWORD) {
  label = winport::WideToUtf8(properties->aPropVar[1].pwszVal);
  return answers.create;
}
HRESULT WINAPI PathNameToFormatName(LPCWSTR, LPWSTR, LPDWORD) {
  return MQ_OK;
}
HRESULT WINAPI OpenQueue(LPCWSTR, DWORD, DWORD, QUEUEHANDLE* handle) {
  *handle = &answers;
  return answers.open;
}
HRESULT WINAPI MgmtGetInfo(LPCWSTR, LPCWSTR, MQMGMTPROPS* properties) {
  properties->aPropVar[0].vt = VT_UI4;
  properties->aPropVar[0].ulVal = 0;
  return answers.info;
}
HRESULT WINAPI SendMessage(QUEUEHANDLE, MQMSGPROPS*, ITransaction*) {
  return answers.send;
}
HRESULT WINAPI CloseQueue(QUEUEHANDLE) {
  return MQ_OK;
}

std::string ComError(const char* function, const char* code) {
  return std::string("SOAP Service C0000154 1 1|Function [MSMQ::") + function +
         "] returned COM error: " + code;
}

TEST(MsmqSender, LabelsItsQueueAndSaysWhichCallFailed) {
  struct Case {
    const OLECHAR* pathName;
    Answers answers;
    const char* label;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {OLESTR(".\\PRIVATE$\\WSQueue"), {}, "WSQueue", {}},
      {OLESTR("Plain"), {}, "Plain", {}},
      {OLESTR(".\\PRIVATE$\\Old"), {.create = MQ_ERROR_QUEUE_EXISTS}, "Old", {}},
      {OLESTR("Q"),
       {.create = MQ_ERROR_ACCESS_DENIED},
       "Q",
       {ComError("MQCreateQueue", "0xC00E0025")}},
      {OLESTR("Q"),
       {.open = MQ_ERROR_QUEUE_NOT_FOUND},
       "Q",
       {ComError("MQOpenQueue", "0xC00E0003")}},
      {OLESTR("Q"), {.info = E_ACCESSDENIED}, "Q", {ComError("MQMgmtGetInfo", "0x80070005")}},
      {OLESTR("Q"), {.send = E_OUTOFMEMORY}, "Q", {ComError("MQSendMessage", "0x8007000E")}},
  };
  quillmere::MsmqRuntime runtime;
  runtime.bound = true;
  runtime.createQueue = &CreateQueue;
  runtime.openQueue = &OpenQueue;
  runtime.pathNameToFormatName = &PathNameToFormatName;
  runtime.mgmtGetInfo = &MgmtGetInfo;
  runtime.sendMessage = &SendMessage;
  runtime.closeQueue = &CloseQueue;
  for (const Case& test : cases) {
    testing_support::LeaveFreshMachine();
    testing_support::EnterFreshMachine();
    answers = test.answers;
    const quillmere::EventLogChannel channel;
    quillmere::MsmqQueue queue(runtime, channel);
    if (queue.Open(test.pathName, 1) && !queue.IsFull()) queue.Send(OLESTR("<R/>"));
    EXPECT_EQ(label, test.label);
    EXPECT_EQ(Events(), test.events) << test.label;
  }
}

}  // namespace
}  // namespace delivery_tests
