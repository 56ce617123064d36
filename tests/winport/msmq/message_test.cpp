// Messages: their order, their properties, waiting for them, and sends and receives
// that fail leaving the queue as it was.
#include <gtest/gtest.h>

#include <vector>

#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using MessageTest = OpenedQueue;

// Peeking leaves the first message where it is.
TEST_F(MessageTest, HigherPriorityFirstThenInTheOrderSent) {
  const std::pair<const char*, UCHAR> sent[] = {{"a3", 3}, {"b0", 0}, {"c7", 7},
                                                {"d3", 3}, {"e7", 7}, {"f0", 0}};
  for (const auto& [body, priority] : sent)
    ASSERT_EQ(Send(sender_, body, priority), MQ_OK);
  std::string peeked;
  ASSERT_EQ(Receive(receiver_, &peeked, 0, MQ_ACTION_PEEK_CURRENT), MQ_OK);
  EXPECT_EQ(peeked, "c7");
  EXPECT_EQ(Count(format_name_), 6u);
  std::vector<std::string> received(6);
  for (std::string& body : received)
    ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(received, (std::vector<std::string>{"c7", "e7", "a3", "d3", "b0", "f0"}));
}

// The module sends the body's size too: the sender's is ignored, the receiver's answered.
TEST_F(MessageTest, TooSmallABufferKeepsTheMessage) {
  UCHAR body[] = {1, 2, 3, 4, 5};
  MSGPROPID ids[2] = {PROPID_M_BODY, PROPID_M_BODY_SIZE};
  MQPROPVARIANT values[2] = {Bytes(body, 5), Variant(VT_UI4, 5)};
  HRESULT status[2] = {};
  MQMSGPROPS properties{2, ids, values, status};
  ASSERT_EQ(MQSendMessage(sender_, &properties, nullptr), MQ_INFORMATION_PROPERTY);
  EXPECT_EQ(status[1], MQ_INFORMATION_PROPERTY_IGNORED);
  values[0] = Bytes(body, 2);
  values[1] = Variant(VT_NULL);
  ASSERT_EQ(MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, &properties, nullptr, nullptr,
                             nullptr, nullptr),
            MQ_ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(values[1].ulVal, 5u);
  EXPECT_EQ(Count(format_name_), 1u);
  std::string received;
  ASSERT_EQ(Receive(receiver_, &received), MQ_OK);
  EXPECT_EQ(received, "\1\2\3\4\5");
}

TEST_F(MessageTest, EmptyQueueTimesOutAtOnceOrAfterWaiting) {
  std::string body;
  EXPECT_EQ(Receive(receiver_, &body, 0), static_cast<HRESULT>(0xC00E001B));
  EXPECT_EQ(Receive(receiver_, &body, 30), MQ_ERROR_IO_TIMEOUT);
}

TEST_F(MessageTest, BodiesUpToFourMegabytes) {
  const std::string largest(4 * 1024 * 1024, 'x');
  ASSERT_EQ(Send(sender_, largest), MQ_OK);
  EXPECT_EQ(Send(sender_, largest + "y"), MQ_ERROR_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(Send(sender_, ""), MQ_OK);
  std::string body;
  ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(body, largest);
  ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(body, "");
}

TEST_F(MessageTest, FailedCommitLeavesNoHalfDoneSendOrReceive) {
  winport::fault::FailCall("QueueStoreCommit", MQ_ERROR_MESSAGE_STORAGE_FAILED);
  EXPECT_EQ(Send(sender_, "never stored"), MQ_ERROR_MESSAGE_STORAGE_FAILED);
  EXPECT_EQ(Count(format_name_), 0u);
  ASSERT_EQ(Send(sender_, "kept", 3, MQMSG_DELIVERY_RECOVERABLE), MQ_OK);
  winport::fault::FailCall("QueueStoreCommit", MQ_ERROR_MESSAGE_STORAGE_FAILED);
  std::string body;
  EXPECT_EQ(Receive(receiver_, &body), MQ_ERROR_MESSAGE_STORAGE_FAILED);
  EXPECT_EQ(Count(format_name_), 1u);
  ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(body, "kept");
}

}  // namespace
}  // namespace msmq_tests
