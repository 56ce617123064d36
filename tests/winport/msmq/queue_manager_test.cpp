// Message queuing as a feature of the machine: installed or not, running or stopped.
#include <gtest/gtest.h>

#include "linux/child_process.h"
#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using winport::WideString;
namespace msmq = winport::msmq;

bool ParametersKeyExists() {
  winport::ScopedHkey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\MSMQ\\Parameters", 0, KEY_READ,
                       key.Receive()) == ERROR_SUCCESS;
}

TEST(QueueManagerTest, FreshMachineHasNoMessageQueuing) {
  EXPECT_FALSE(ParametersKeyExists());
  EXPECT_FALSE(msmq::IsInstalled());
  EXPECT_FALSE(msmq::IsRunning());
  EXPECT_EQ(msmq::Start(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(msmq::Stop(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  WideString format_name;
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\Q", &format_name), MQ_ERROR_SERVICE_NOT_AVAILABLE);
}

TEST(QueueManagerTest, InstallingWritesTheKeyAndStartsTheQueueManager) {
  ASSERT_EQ(msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(ParametersKeyExists());
  EXPECT_TRUE(msmq::IsRunning());
  EXPECT_EQ(msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(QueueManagerTest, UninstallingRemovesTheKeyAndEveryQueue) {
  ASSERT_EQ(msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  const WideString first = NewQueue();
  ASSERT_EQ(msmq::Uninstall(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(ParametersKeyExists());
  QUEUEHANDLE queue = nullptr;
  EXPECT_EQ(MQOpenQueue(first.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &queue),
            MQ_ERROR_SERVICE_NOT_AVAILABLE);

  // Installed again, the machine starts empty, even in a process that used the old store.
  ASSERT_EQ(msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(MQOpenQueue(first.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &queue),
            MQ_ERROR_QUEUE_NOT_FOUND);
  WideString second;
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\TestQueue", &second), MQ_OK);
}

TEST(QueueManagerTest, StoppedQueueManagerServesNoCall) {
  ASSERT_EQ(msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  const WideString format_name = NewQueue();
  const QUEUEHANDLE sender = OpenQueue(format_name, MQ_SEND_ACCESS);
  const QUEUEHANDLE receiver = OpenQueue(format_name, MQ_RECEIVE_ACCESS);
  ASSERT_EQ(msmq::Stop(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(msmq::IsInstalled());
  EXPECT_FALSE(msmq::IsRunning());

  WideString created;
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\Other", &created), MQ_ERROR_SERVICE_NOT_AVAILABLE);
  WCHAR buffer[260];
  DWORD length = 260;
  EXPECT_EQ(MQPathNameToFormatName(u".\\PRIVATE$\\TestQueue", buffer, &length),
            MQ_ERROR_SERVICE_NOT_AVAILABLE);
  ULONG count = 0;
  EXPECT_EQ(CountMessages(format_name, &count), MQ_ERROR_SERVICE_NOT_AVAILABLE);
  EXPECT_EQ(Send(sender, "x"), MQ_ERROR_SERVICE_NOT_AVAILABLE);
  std::string body;
  EXPECT_EQ(Receive(receiver, &body), MQ_ERROR_SERVICE_NOT_AVAILABLE);

  ASSERT_EQ(msmq::Start(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(Send(sender, "x"), MQ_OK);
  EXPECT_EQ(Receive(receiver, &body), MQ_OK);
  MQCloseQueue(sender);
  MQCloseQueue(receiver);
}

TEST(QueueManagerTest, StateIsTheMachinesNotTheProcesss) {
  ASSERT_EQ(msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  winport_tests::Child stopper([](int, int) { return msmq::Stop() == ERROR_SUCCESS ? 0 : 1; });
  stopper.Go();
  ASSERT_EQ(stopper.Wait(), 0);
  EXPECT_FALSE(msmq::IsRunning());
}

}  // namespace
}  // namespace msmq_tests
