// Queues: creating, naming, opening, counting and deleting them.
#include <gtest/gtest.h>

#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using winport::WideString;
using QueueTest = InstalledMachine;

WideString ThisComputer() {
  WCHAR name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  EXPECT_TRUE(GetComputerNameW(name, &size));
  return WideString(name, size);
}

TEST_F(QueueTest, SendCountReceiveRoundTrip) {
  WideString format_name;
  ASSERT_EQ(CreateQueue(u".\\PRIVATE$\\WSQueue", &format_name, u"WSQueue"), MQ_OK);
  EXPECT_EQ(format_name.rfind(u"PRIVATE=", 0), 0u);
  WideString again;
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\WSQueue", &again), static_cast<HRESULT>(0xC00E0005));

  WCHAR buffer[260];
  DWORD length = 260;
  ASSERT_EQ(MQPathNameToFormatName(u".\\PRIVATE$\\WSQueue", buffer, &length), MQ_OK);
  EXPECT_EQ(WideString(buffer), format_name);
  EXPECT_EQ(length, format_name.size() + 1);

  const QUEUEHANDLE sender = OpenQueue(buffer, MQ_SEND_ACCESS);
  ULONG count = 99;
  ASSERT_EQ(CountMessages(format_name, &count), MQ_OK);
  EXPECT_EQ(count, 0u);
  const std::string report = "<REPORT level=\"1\">\0text</REPORT>";
  ASSERT_EQ(Send(sender, report), MQ_OK);
  ASSERT_EQ(CountMessages(format_name, &count), MQ_OK);
  EXPECT_EQ(count, 1u);

  const QUEUEHANDLE receiver = OpenQueue(format_name, MQ_RECEIVE_ACCESS);
  std::string received;
  ASSERT_EQ(Receive(receiver, &received), MQ_OK);
  EXPECT_EQ(received, report);
  ASSERT_EQ(CountMessages(format_name, &count), MQ_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(MQCloseQueue(sender), MQ_OK);
  EXPECT_EQ(MQCloseQueue(receiver), MQ_OK);
  EXPECT_EQ(MQCloseQueue(receiver), MQ_ERROR_INVALID_HANDLE);
}

TEST_F(QueueTest, PathNamesOfThisComputerNameOneQueueWhateverTheCase) {
  const WideString format_name = NewQueue(u".\\PRIVATE$\\Reports");
  const WideString spellings[] = {u".\\private$\\REPORTS", ThisComputer() + u"\\Private$\\reports"};
  for (const WideString& path : spellings) {
    WCHAR buffer[260];
    DWORD length = 260;
    ASSERT_EQ(MQPathNameToFormatName(path.c_str(), buffer, &length), MQ_OK);
    EXPECT_EQ(WideString(buffer), format_name);
    WideString created;
    EXPECT_EQ(CreateQueue(path, &created), MQ_ERROR_QUEUE_EXISTS);
  }
  // A direct format name reaches the same queue as the private one.
  const QUEUEHANDLE direct =
      OpenQueue(u"DIRECT=OS:" + ThisComputer() + u"\\private$\\reports", MQ_SEND_ACCESS);
  ASSERT_EQ(Send(direct, "via direct"), MQ_OK);
  ULONG count = 0;
  ASSERT_EQ(CountMessages(format_name, &count), MQ_OK);
  EXPECT_EQ(count, 1u);
  MQCloseQueue(direct);
}

TEST_F(QueueTest, FormatNameBuffersTooSmallTellTheLengthNeeded) {
  WCHAR buffer[4];
  DWORD length = 4;
  QUEUEPROPID ids[1] = {PROPID_Q_PATHNAME};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_LPWSTR;
  values[0].pwszVal = const_cast<LPWSTR>(u".\\PRIVATE$\\Small");
  MQQUEUEPROPS properties{1, ids, values, nullptr};
  // The queue is made even so, as on Windows.
  ASSERT_EQ(MQCreateQueue(nullptr, &properties, buffer, &length),
            MQ_INFORMATION_FORMATNAME_BUFFER_TOO_SMALL);
  const DWORD needed = length;
  EXPECT_GT(needed, 4u);
  length = 4;
  EXPECT_EQ(MQPathNameToFormatName(u".\\PRIVATE$\\Small", buffer, &length),
            MQ_ERROR_FORMATNAME_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, needed);
}

TEST_F(QueueTest, ManagementNamesTheQueueInMemoryTheCallerFrees) {
  const WideString format_name = NewQueue(u".\\PRIVATE$\\Named");
  MGMTPROPID ids[2] = {PROPID_MGMT_QUEUE_PATHNAME, PROPID_MGMT_QUEUE_FORMATNAME};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_NULL;
  values[1].vt = VT_NULL;
  MQMGMTPROPS properties{2, ids, values, nullptr};
  const WideString object = u"queue=" + format_name;
  ASSERT_EQ(MQMgmtGetInfo(ThisComputer().c_str(), object.c_str(), &properties), MQ_OK);
  ASSERT_EQ(values[0].vt, VT_LPWSTR);
  EXPECT_EQ(WideString(values[0].pwszVal), ThisComputer() + u"\\private$\\Named");
  EXPECT_EQ(WideString(values[1].pwszVal), format_name);
  MQFreeMemory(values[0].pwszVal);
  MQFreeMemory(values[1].pwszVal);
}

TEST_F(QueueTest, DeletedQueueAndItsMessagesAreGone) {
  const WideString format_name = NewQueue();
  const QUEUEHANDLE sender = OpenQueue(format_name, MQ_SEND_ACCESS);
  ASSERT_EQ(Send(sender, "lost with the queue"), MQ_OK);
  ASSERT_EQ(MQDeleteQueue(format_name.c_str()), MQ_OK);
  EXPECT_EQ(MQDeleteQueue(format_name.c_str()), MQ_ERROR_QUEUE_NOT_FOUND);
  EXPECT_EQ(Send(sender, "too late"), MQ_ERROR_QUEUE_DELETED);
  MQCloseQueue(sender);

  // A queue made again under the name is a new queue, with a new number.
  const WideString again = NewQueue();
  EXPECT_NE(again, format_name);
  ULONG count = 99;
  ASSERT_EQ(CountMessages(again, &count), MQ_OK);
  EXPECT_EQ(count, 0u);
}

TEST_F(QueueTest, ReceiverAloneExcludesOtherReceiversUntilItCloses) {
  const WideString format_name = NewQueue();
  QUEUEHANDLE alone = OpenQueue(format_name, MQ_RECEIVE_ACCESS, MQ_DENY_RECEIVE_SHARE);
  QUEUEHANDLE other = nullptr;
  EXPECT_EQ(MQOpenQueue(format_name.c_str(), MQ_PEEK_ACCESS, MQ_DENY_NONE, &other),
            MQ_ERROR_SHARING_VIOLATION);
  EXPECT_EQ(other, nullptr);
  const QUEUEHANDLE sender = OpenQueue(format_name, MQ_SEND_ACCESS);
  MQCloseQueue(alone);
  other = OpenQueue(format_name, MQ_RECEIVE_ACCESS);
  EXPECT_EQ(MQOpenQueue(format_name.c_str(), MQ_RECEIVE_ACCESS, MQ_DENY_RECEIVE_SHARE, &alone),
            MQ_ERROR_SHARING_VIOLATION);
  MQCloseQueue(other);
  MQCloseQueue(sender);
}

TEST_F(QueueTest, ModuleBindsAllNineFunctionsByName) {
  const HMODULE runtime = LoadLibraryW(u"mqrt.dll");
  ASSERT_NE(runtime, nullptr);
  for (const char* name :
       {"MQCreateQueue", "MQOpenQueue", "MQPathNameToFormatName", "MQMgmtGetInfo", "MQSendMessage",
        "MQReceiveMessage", "MQCloseQueue", "MQDeleteQueue", "MQFreeMemory"}) {
    EXPECT_NE(GetProcAddress(runtime, name), nullptr) << name;
  }
  // Only the runtime's functions: none of its own insides, nor what it links.
  EXPECT_EQ(GetProcAddress(runtime, "sqlite3_open_v2"), nullptr);
  // Through void (*)(), which converts to every function type without a warning.
  auto* create = reinterpret_cast<decltype(&MQCreateQueue)>(
      reinterpret_cast<void (*)()>(GetProcAddress(runtime, "MQCreateQueue")));
  EXPECT_EQ(create, &MQCreateQueue);
  FreeLibrary(runtime);
}

}  // namespace
}  // namespace msmq_tests
