// Message queuing as a feature of the machine: installed or not, running or stopped.
#include <gtest/gtest.h>

#include "linux/child_process.h"
#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

namespace msmq = winport::msmq;
constexpr DWORD kSuccess = ERROR_SUCCESS;
using QueueManagerTest = InstalledMachine;

bool ParametersKeyExists() {
  winport::ScopedHkey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\MSMQ\\Parameters", 0, KEY_READ,
                       key.Receive()) == ERROR_SUCCESS;
}

// What a program sees of the machine, from bare to running, and a report's way through it.
TEST(MessageQueuingTest, UninstalledThenStoppedThenRunning) {
  EXPECT_FALSE(ParametersKeyExists());
  EXPECT_EQ(msmq::Start(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\WSQueue"), MQ_ERROR_SERVICE_NOT_AVAILABLE);

  ASSERT_EQ(msmq::Install(), kSuccess);
  EXPECT_TRUE(ParametersKeyExists());
  ASSERT_EQ(msmq::Stop(), kSuccess);
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\WSQueue"), static_cast<HRESULT>(0xC00E000B));

  ASSERT_EQ(msmq::Start(), kSuccess);
  WideString format_name;
  ASSERT_EQ(CreateQueue(u".\\PRIVATE$\\WSQueue", &format_name, u"WSQueue"), MQ_OK);
  EXPECT_EQ(format_name.rfind(u"PRIVATE=", 0), 0u);
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\WSQueue"), static_cast<HRESULT>(0xC00E0005));
  WideString by_path;
  ASSERT_EQ(FormatName(u".\\PRIVATE$\\WSQueue", &by_path), MQ_OK);
  EXPECT_EQ(by_path, format_name);
  const QUEUEHANDLE sender = OpenQueue(by_path, MQ_SEND_ACCESS);
  EXPECT_EQ(Count(format_name), 0u);
  const std::string report("<REPORT>\0</REPORT>", 18);
  ASSERT_EQ(Send(sender, report), MQ_OK);
  EXPECT_EQ(Count(format_name), 1u);
  const QUEUEHANDLE receiver = OpenQueue(format_name, MQ_RECEIVE_ACCESS);
  std::string received;
  ASSERT_EQ(Receive(receiver, &received), MQ_OK);
  EXPECT_EQ(received, report);
  EXPECT_EQ(Count(format_name), 0u);

  // Stopped by another process, the queue manager serves no call on the handles opened
  // before, until it is started again.
  winport_tests::Child stopper([](int, int) { return msmq::Stop() == ERROR_SUCCESS ? 0 : 1; });
  stopper.Go();
  ASSERT_EQ(stopper.Wait(), 0);
  EXPECT_EQ(Send(sender, "x"), MQ_ERROR_SERVICE_NOT_AVAILABLE);
  EXPECT_EQ(Receive(receiver, &received), MQ_ERROR_SERVICE_NOT_AVAILABLE);
  ASSERT_EQ(msmq::Start(), kSuccess);
  EXPECT_EQ(Send(sender, "x"), MQ_OK);
  EXPECT_EQ(MQCloseQueue(sender), MQ_OK);
  EXPECT_EQ(MQCloseQueue(receiver), MQ_OK);
}

TEST_F(QueueManagerTest, UninstallingRemovesTheKeyAndEveryQueue) {
  const WideString old = NewQueue();
  ASSERT_EQ(msmq::Install(), kSuccess);  // installed again: nothing lost
  EXPECT_EQ(Count(old), 0u);
  ASSERT_EQ(msmq::Uninstall(), kSuccess);
  EXPECT_FALSE(ParametersKeyExists());
  QUEUEHANDLE queue = nullptr;
  EXPECT_EQ(MQOpenQueue(old.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &queue),
            MQ_ERROR_SERVICE_NOT_AVAILABLE);
  // Installed again, the machine starts empty, even in a process that used the old store.
  ASSERT_EQ(msmq::Install(), kSuccess);
  EXPECT_EQ(MQOpenQueue(old.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &queue),
            MQ_ERROR_QUEUE_NOT_FOUND);
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\TestQueue"), MQ_OK);
}

}  // namespace
}  // namespace msmq_tests
