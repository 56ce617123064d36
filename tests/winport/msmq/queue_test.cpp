// Queues: naming, opening, sharing and deleting them.
#include <gtest/gtest.h>

#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using QueueTest = OpenedQueue;

WideString ThisComputer() {
  WCHAR name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  EXPECT_TRUE(GetComputerNameW(name, &size));
  return WideString(name, size);
}

TEST_F(QueueTest, PathNamesOfThisComputerNameOneQueueWhateverTheCase) {
  const WideString format_name = NewQueue(u".\\PRIVATE$\\Reports");
  for (const WideString& path :
       {WideString(u".\\private$\\REPORTS"), ThisComputer() + u"\\Private$\\reports"}) {
    WideString found;
    ASSERT_EQ(FormatName(path, &found), MQ_OK);
    EXPECT_EQ(found, format_name);
    EXPECT_EQ(CreateQueue(path), MQ_ERROR_QUEUE_EXISTS);
  }
  const QUEUEHANDLE direct =
      OpenQueue(u"DIRECT=OS:" + ThisComputer() + u"\\private$\\reports", MQ_SEND_ACCESS);
  ASSERT_EQ(Send(direct, "via direct"), MQ_OK);
  EXPECT_EQ(Count(format_name), 1u);
  MQCloseQueue(direct);
}

TEST_F(QueueTest, DeletedQueueAndItsMessagesAreGone) {
  ASSERT_EQ(Send(sender_, "lost with the queue"), MQ_OK);
  ASSERT_EQ(MQDeleteQueue(format_name_.c_str()), MQ_OK);
  EXPECT_EQ(MQDeleteQueue(format_name_.c_str()), MQ_ERROR_QUEUE_NOT_FOUND);
  EXPECT_EQ(Send(sender_, "too late"), MQ_ERROR_QUEUE_DELETED);
  // A queue made again under the name is a new queue, with a new number.
  const WideString again = NewQueue();
  EXPECT_NE(again, format_name_);
  EXPECT_EQ(Count(again), 0u);
}

TEST_F(QueueTest, ReceiverAloneExcludesOtherReceiversUntilItCloses) {
  QUEUEHANDLE alone = nullptr;
  EXPECT_EQ(MQOpenQueue(format_name_.c_str(), MQ_RECEIVE_ACCESS, MQ_DENY_RECEIVE_SHARE, &alone),
            MQ_ERROR_SHARING_VIOLATION);
  MQCloseQueue(receiver_);
  alone = OpenQueue(format_name_, MQ_RECEIVE_ACCESS, MQ_DENY_RECEIVE_SHARE);
  EXPECT_EQ(MQOpenQueue(format_name_.c_str(), MQ_PEEK_ACCESS, MQ_DENY_NONE, &receiver_),
            MQ_ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Send(sender_, "senders are not excluded"), MQ_OK);
  MQCloseQueue(alone);
  receiver_ = OpenQueue(format_name_, MQ_RECEIVE_ACCESS);
}

TEST_F(QueueTest, MachineListsEveryPrivateQueueByPathName) {
  NewQueue(u".\\PRIVATE$\\Alpha");
  MGMTPROPID ids[1] = {PROPID_MGMT_MSMQ_PRIVATEQ};
  MQPROPVARIANT values[1] = {Variant(VT_NULL)};
  MQMGMTPROPS properties{1, ids, values, nullptr};
  ASSERT_EQ(MQMgmtGetInfo(nullptr, u"machine", &properties), MQ_OK);
  ASSERT_EQ(values[0].vt, VT_VECTOR | VT_LPWSTR);
  std::vector<WideString> names;
  for (ULONG i = 0; i < values[0].calpwstr.cElems; ++i) {
    names.emplace_back(values[0].calpwstr.pElems[i]);
    MQFreeMemory(values[0].calpwstr.pElems[i]);
  }
  MQFreeMemory(values[0].calpwstr.pElems);
  EXPECT_EQ(names, (std::vector<WideString>{ThisComputer() + u"\\private$\\Alpha",
                                            ThisComputer() + u"\\private$\\TestQueue"}));
}

}  // namespace
}  // namespace msmq_tests
