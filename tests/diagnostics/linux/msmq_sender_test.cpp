// The message-queue sender against the real runtime, on a machine with or without
// message queuing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <winport/message_queuing.h>

#include "delivery_fixture.h"
#include "msmq/msmq_test_support.h"

namespace delivery_tests {
namespace {

using quillmere::LoadMsmqRuntime;
using quillmere::MsmqQueue;
using testing::ElementsAre;
using testing::IsEmpty;

class MsmqSenderTest : public testing::Test {
 protected:
  quillmere::EventLogChannel events;
  quillmere::MsmqRuntime runtime;
};

TEST_F(MsmqSenderTest, MissingMessageQueuingWarnsOnceAndLoadsNothing) {
  // A load would fail and say so.
  winport::fault::FailCall("LoadLibraryW", ERROR_MOD_NOT_FOUND);
  EXPECT_FALSE(LoadMsmqRuntime(runtime, events));
  EXPECT_FALSE(LoadMsmqRuntime(runtime, events));
  EXPECT_THAT(Events(), ElementsAre("SOAP Service 80000150 2 0"));
}

TEST_F(MsmqSenderTest, RuntimeLackingAFunctionFailsForGood) {
  ASSERT_EQ(winport::msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  winport::fault::FailCall("GetProcAddress", ERROR_PROC_NOT_FOUND, 6);
  EXPECT_FALSE(LoadMsmqRuntime(runtime, events));
  EXPECT_FALSE(LoadMsmqRuntime(runtime, events));
  EXPECT_FALSE(MsmqQueue(runtime, events).Open(OLESTR("Q"), 1));
  EXPECT_THAT(Events(),
              ElementsAre("SOAP Service C0000151 1 1|Function [GetProcAddress()] returned "
                          "Win32 Error: 0x7F (The specified procedure could not be "
                          "found.\r\n)"));
}

TEST_F(MsmqSenderTest, StoppedQueueManagerIsAWarning) {
  ASSERT_EQ(winport::msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(winport::msmq::Stop(), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(LoadMsmqRuntime(runtime, events));
  EXPECT_FALSE(MsmqQueue(runtime, events).Open(OLESTR(".\\PRIVATE$\\WSQueue"), 1));
  EXPECT_THAT(Events(), ElementsAre("SOAP Service 80000152 2 0"));
}

// Two messages fit, the third finds the queue full; one taken off makes room. A second
// opening finds the queue already there, quietly.
TEST_F(MsmqSenderTest, SendsUntilTheQueueHoldsItsCapacity) {
  ASSERT_EQ(winport::msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(LoadMsmqRuntime(runtime, events));
  MsmqQueue queue(runtime, events);
  MsmqQueue again(runtime, events);
  ASSERT_TRUE(queue.Open(OLESTR(".\\PRIVATE$\\Q"), 2));
  ASSERT_TRUE(again.Open(OLESTR(".\\PRIVATE$\\Q"), 2));
  EXPECT_EQ(again.FormatName(), queue.FormatName());
  EXPECT_THAT(Events(), IsEmpty());

  const QUEUEHANDLE receiver = msmq_tests::OpenQueue(queue.FormatName(), MQ_RECEIVE_ACCESS);
  for (const winport::WideView body : {OLESTR("<a/>"), OLESTR("é<b/>")}) {
    ASSERT_FALSE(queue.IsFull());
    queue.Send(body);
  }
  EXPECT_TRUE(queue.IsFull());
  EXPECT_THAT(Events(), ElementsAre("SOAP Service C0000155 1 0"));
  std::string received;
  ASSERT_EQ(msmq_tests::Receive(receiver, &received), MQ_OK);
  EXPECT_EQ(received, std::string("<\0a\0/\0>\0", 8));
  EXPECT_FALSE(queue.IsFull());
  MQCloseQueue(receiver);
}

}  // namespace
}  // namespace delivery_tests
