// Messages: their order, their properties, waiting for them, and sends and receives
// that fail leaving the queue as it was.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using winport::WideString;

class MessageTest : public OpenedQueue {
 protected:
  ULONG Count() {
    ULONG count = 0;
    EXPECT_EQ(CountMessages(format_name_, &count), MQ_OK);
    return count;
  }
};

TEST_F(MessageTest, HigherPriorityFirstThenInTheOrderSent) {
  const std::pair<const char*, UCHAR> sent[] = {{"a3", 3}, {"b0", 0}, {"c7", 7},
                                                {"d3", 3}, {"e7", 7}, {"f0", 0}};
  for (const auto& [body, priority] : sent)
    ASSERT_EQ(Send(sender_, body, priority), MQ_OK);
  std::vector<std::string> received(6);
  for (std::string& body : received)
    ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(received, (std::vector<std::string>{"c7", "e7", "a3", "d3", "b0", "f0"}));
}

TEST_F(MessageTest, PeekLeavesTheMessageWhereItIs) {
  ASSERT_EQ(Send(sender_, "first"), MQ_OK);
  ASSERT_EQ(Send(sender_, "second"), MQ_OK);
  const QUEUEHANDLE peeker = OpenQueue(format_name_, MQ_PEEK_ACCESS);
  std::string body;
  ASSERT_EQ(Receive(peeker, &body, 0, MQ_ACTION_PEEK_CURRENT), MQ_OK);
  EXPECT_EQ(body, "first");
  EXPECT_EQ(Receive(peeker, &body), MQ_ERROR_ACCESS_DENIED);
  EXPECT_EQ(Receive(peeker, &body, 0, MQ_ACTION_PEEK_NEXT), MQ_ERROR_ILLEGAL_CURSOR_ACTION);
  EXPECT_EQ(Count(), 2u);
  ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(body, "first");
  MQCloseQueue(peeker);
}

TEST_F(MessageTest, PropertiesComeBackAsSentAndTooSmallBuffersKeepTheMessage) {
  UCHAR body[] = {1, 2, 3, 4, 5};
  const WideString label = u"Report label";
  MSGPROPID ids[5] = {PROPID_M_BODY, PROPID_M_LABEL, PROPID_M_BODY_TYPE, PROPID_M_DELIVERY,
                      PROPID_M_BODY_SIZE};
  MQPROPVARIANT values[5] = {};
  values[0].vt = VT_VECTOR | VT_UI1;
  values[0].caub = {5, body};
  values[1].vt = VT_LPWSTR;
  values[1].pwszVal = const_cast<LPWSTR>(label.c_str());
  values[2].vt = VT_UI4;
  values[2].ulVal = VT_BSTR;
  values[3].vt = VT_UI1;
  values[3].bVal = MQMSG_DELIVERY_RECOVERABLE;
  values[4].vt = VT_UI4;
  values[4].ulVal = 5;
  HRESULT status[5] = {};
  MQMSGPROPS sent{5, ids, values, status};
  // The body size is the receiver's to read: the sender's is ignored.
  ASSERT_EQ(MQSendMessage(sender_, &sent, nullptr), MQ_INFORMATION_PROPERTY);
  EXPECT_EQ(status[4], MQ_INFORMATION_PROPERTY_IGNORED);
  EXPECT_EQ(status[0], MQ_OK);

  UCHAR small_body[2];
  WCHAR label_buffer[64];
  MSGPROPID receive_ids[6] = {PROPID_M_BODY,      PROPID_M_BODY_SIZE, PROPID_M_LABEL,
                              PROPID_M_LABEL_LEN, PROPID_M_BODY_TYPE, PROPID_M_DELIVERY};
  MQPROPVARIANT out[6] = {};
  out[0].vt = VT_VECTOR | VT_UI1;
  out[0].caub = {2, small_body};
  out[1].vt = VT_NULL;
  out[2].vt = VT_LPWSTR;
  out[2].pwszVal = label_buffer;
  out[3].vt = VT_UI4;
  out[3].ulVal = 4;
  out[4].vt = VT_NULL;
  out[5].vt = VT_NULL;
  MQMSGPROPS received{6, receive_ids, out, nullptr};
  ASSERT_EQ(MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, &received, nullptr, nullptr, nullptr,
                             nullptr),
            MQ_ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(out[1].ulVal, 5u);
  EXPECT_EQ(Count(), 1u);

  out[0].caub = {5, body};
  out[3].ulVal = 4;  // the call answered the length needed in it
  std::fill(std::begin(body), std::end(body), 0);
  ASSERT_EQ(MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, &received, nullptr, nullptr, nullptr,
                             nullptr),
            MQ_ERROR_LABEL_BUFFER_TOO_SMALL);
  EXPECT_EQ(out[3].ulVal, label.size() + 1);
  EXPECT_EQ(Count(), 1u);

  out[3].ulVal = 64;
  ASSERT_EQ(MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, &received, nullptr, nullptr, nullptr,
                             nullptr),
            MQ_OK);
  EXPECT_EQ(std::vector<UCHAR>(body, body + 5), (std::vector<UCHAR>{1, 2, 3, 4, 5}));
  EXPECT_EQ(WideString(label_buffer), label);
  EXPECT_EQ(out[4].ulVal, static_cast<ULONG>(VT_BSTR));
  EXPECT_EQ(out[5].bVal, MQMSG_DELIVERY_RECOVERABLE);
  EXPECT_EQ(Count(), 0u);
}

TEST_F(MessageTest, EmptyQueueTimesOutAtOnceOrAfterWaiting) {
  std::string body;
  EXPECT_EQ(Receive(receiver_, &body, 0), static_cast<HRESULT>(0xC00E001B));
  EXPECT_EQ(Receive(receiver_, &body, 30), MQ_ERROR_IO_TIMEOUT);
}

TEST_F(MessageTest, WaitingReceiverGetsWhatArrivesMeanwhile) {
  std::thread late_sender([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Send(sender_, "late"), MQ_OK);
  });
  std::string body;
  EXPECT_EQ(Receive(receiver_, &body, INFINITE), MQ_OK);
  EXPECT_EQ(body, "late");
  late_sender.join();
}

TEST_F(MessageTest, ClosingTheHandleEndsAWaitOnIt) {
  std::thread closer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    MQCloseQueue(receiver_);
  });
  std::string body;
  EXPECT_EQ(Receive(receiver_, &body, INFINITE), MQ_ERROR_OPERATION_CANCELLED);
  closer.join();
  receiver_ = OpenQueue(format_name_, MQ_RECEIVE_ACCESS);
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
  EXPECT_EQ(Count(), 0u);
  std::string body;
  EXPECT_EQ(Receive(receiver_, &body), MQ_ERROR_IO_TIMEOUT);

  ASSERT_EQ(Send(sender_, "kept", 3, MQMSG_DELIVERY_RECOVERABLE), MQ_OK);
  winport::fault::FailCall("QueueStoreCommit", MQ_ERROR_MESSAGE_STORAGE_FAILED);
  EXPECT_EQ(Receive(receiver_, &body), MQ_ERROR_MESSAGE_STORAGE_FAILED);
  EXPECT_EQ(Count(), 1u);
  ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(body, "kept");
}

}  // namespace
}  // namespace msmq_tests
