// Reports of a farm through a real broker: each test runs its own RabbitMQ node.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <numeric>
#include <regex>

#include <winport/fault_injection.h>
#include <winport/message_queuing.h>

#include "broker_node.h"
#include "delivery_fixture.h"
#include "fresh_machine.h"
#include "linux/child_process.h"
#include "msmq/msmq_test_support.h"

namespace broker_tests {
namespace {

using Clock = std::chrono::steady_clock;
namespace msmq = winport::msmq;
constexpr const char16_t* kCentral = u"DIRECT=OS:CENTRAL\\PRIVATE$\\Reports";
constexpr int kMachines = 3;
constexpr int kReports = 1000;

struct Outgoing {
  std::string state;
  std::string reason;
  ULONG waiting = 0;
  ULONG duplicates = 0;
};

Outgoing ReadOutgoing(const char16_t* format_name = kCentral) {
  MGMTPROPID ids[] = {PROPID_MGMT_QUEUE_STATE, PROPID_MGMT_QUEUE_STATE_REASON,
                      PROPID_MGMT_QUEUE_OUTGOING_MESSAGE_COUNT,
                      PROPID_MGMT_QUEUE_DUPLICATES_DROPPED};
  MQPROPVARIANT values[4];
  std::fill(std::begin(values), std::end(values), msmq_tests::Variant(VT_NULL));
  MQMGMTPROPS properties{4, ids, values, nullptr};
  const winport::WideString object = u"QUEUE=" + winport::WideString(format_name);
  Outgoing outgoing;
  if (MQMgmtGetInfo(nullptr, object.c_str(), &properties) != MQ_OK) return outgoing;
  outgoing.state = winport::WideToUtf8(values[0].pwszVal);
  outgoing.reason = winport::WideToUtf8(values[1].pwszVal);
  MQFreeMemory(values[0].pwszVal);
  MQFreeMemory(values[1].pwszVal);
  outgoing.waiting = values[2].ulVal;
  outgoing.duplicates = values[3].ulVal;
  return outgoing;
}

// Waits up to a minute for the outgoing queue to be as `done` says.
template <class Done>
bool WaitUntil(Done done) {
  const auto deadline = Clock::now() + std::chrono::minutes(1);
  while (Clock::now() < deadline) {
    if (done(ReadOutgoing())) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Every message of the central queue, taken from the broker, as text.
std::vector<std::string> TakeAll() {
  const QUEUEHANDLE receiver = msmq_tests::OpenQueue(kCentral, MQ_RECEIVE_ACCESS);
  std::vector<std::string> bodies;
  std::string body;
  while (msmq_tests::Receive(receiver, &body) == MQ_OK) {
    // The module's reports are UTF-16; other senders' bodies are taken as they are.
    std::erase(body, '\0');
    bodies.push_back(body);
  }
  MQCloseQueue(receiver);
  return bodies;
}

class BrokerTest : public delivery_tests::DeliveryTest {
 protected:
  void SetUp() override {
    DeliveryTest::SetUp();
    if (!BrokerInstalled()) GTEST_SKIP() << "rabbitmq-server is not installed";
    node_ = std::make_unique<BrokerNode>(WithTls());
    ASSERT_TRUE(node_->running()) << "the test's broker did not start";
    ASSERT_EQ(msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS));
  }
  virtual bool WithTls() const { return false; }
  std::unique_ptr<BrokerNode> node_;
};

class BrokerTlsTest : public BrokerTest {
 protected:
  bool WithTls() const override { return true; }
};

// Three machines report to one central queue; the broker goes away for ten seconds while
// they report. Every report arrives once (each machine's, all of them, in the order it
// reported them, and no more in all), whatever was published twice.
TEST_F(BrokerTest, FleetReportsReachTheCentralQueueOnceAndInOrder) {
  const std::string url = node_->Url();
  std::vector<std::unique_ptr<winport_tests::Child>> machines;
  for (int m = 0; m < kMachines; ++m) {
    machines.push_back(std::make_unique<winport_tests::Child>([&, m](int go, int done) {
      // A machine of the farm, in a folder of its own under this test's.
      const auto folder = testing_support::MachinePrefix() / ("machine" + std::to_string(m));
      std::filesystem::create_directories(folder);
      ::setenv("QUILLMERE_PREFIX", folder.c_str(), 1);
      if (msmq::Install() != ERROR_SUCCESS || msmq::SetBroker(url) != ERROR_SUCCESS) return 1;
      Load(delivery_tests::SettingsMof("15 0 0 0 1 100000 CENTRAL\\\\PRIVATE$\\\\Reports"));
      if (HasFatalFailure()) return 2;
      delivery_tests::DeliveringReporting reporting(runtime);
      for (int half = 0; half < 2; ++half) {
        for (int n = half * kReports / 2; n < (half + 1) * kReports / 2; ++n) {
          const winport::WideString text = winport::Utf8ToWide(
              "machine " + std::to_string(m) + " report " + std::to_string(n) + ".");
          reporting.Report(2, OLESTR("fleet"), text.c_str());
        }
        if (!reporting.WaitFor((half + 1) * kReports / 2)) return 3;
        char word = 'h';
        (void)!::write(done, &word, 1);
        if (half == 0 && ::read(go, &word, 1) != 1) return 4;
      }
      return WaitUntil([](const Outgoing& o) { return o.state == "CONNECTED" && o.waiting == 0; })
                 ? 0
                 : 5;
    }));
    machines.back()->Go();
  }
  for (auto& machine : machines)
    ASSERT_TRUE(machine->Signalled());
  node_->StopApplication();
  const auto stopped = Clock::now();
  for (auto& machine : machines) {
    machine->Go();
    ASSERT_TRUE(machine->Signalled());
  }
  std::this_thread::sleep_until(stopped + std::chrono::seconds(10));
  node_->StartApplication();
  const auto back = Clock::now();
  for (auto& machine : machines)
    EXPECT_EQ(machine->Wait(), 0);
  const double drained = std::chrono::duration<double>(Clock::now() - back).count();

  ASSERT_EQ(msmq::SetBroker(url), static_cast<DWORD>(ERROR_SUCCESS));
  const std::vector<std::string> bodies = TakeAll();
  const std::regex report("machine ([0-9]) report ([0-9]+)\\.");
  std::map<int, std::vector<int>> received;
  for (const std::string& body : bodies) {
    std::smatch found;
    ASSERT_TRUE(std::regex_search(body, found, report)) << body;
    received[std::stoi(found[1])].push_back(std::stoi(found[2]));
  }
  EXPECT_EQ(bodies.size(), static_cast<size_t>(kMachines * kReports));
  std::vector<int> in_order(kReports);
  std::iota(in_order.begin(), in_order.end(), 0);
  for (int m = 0; m < kMachines; ++m)
    EXPECT_EQ(received[m], in_order) << "machine " << m;
  const ULONG duplicates = ReadOutgoing().duplicates;
  std::printf("fleet: %zu messages, %u duplicates dropped, drained in %.1f s\n", bodies.size(),
              static_cast<unsigned>(duplicates), drained);
}

// A sender killed the moment its send returned, while the broker was away: its message
// leaves with the next forwarder of the machine.
TEST_F(BrokerTest, KilledSendersMessageLeavesWithTheNextForwarder) {
  ASSERT_EQ(msmq::SetBroker(node_->Url()), static_cast<DWORD>(ERROR_SUCCESS));
  node_->StopApplication();
  winport_tests::Child sender([](int, int done) {
    const QUEUEHANDLE queue = msmq_tests::OpenQueue(kCentral, MQ_SEND_ACCESS);
    if (msmq_tests::Send(queue, "last words") != MQ_OK) return 1;
    (void)!::write(done, "s", 1);
    ::pause();
    return 0;
  });
  sender.Go();
  ASSERT_TRUE(sender.Signalled());
  ::kill(sender.pid(), SIGKILL);
  sender.Wait();
  EXPECT_EQ(ReadOutgoing().waiting, 1u);
  node_->StartApplication();
  const QUEUEHANDLE forwarder = msmq_tests::OpenQueue(kCentral, MQ_SEND_ACCESS);
  ASSERT_TRUE(WaitUntil([](const Outgoing& o) { return o.waiting == 0; }));
  EXPECT_EQ(TakeAll(), std::vector<std::string>{"last words"});
  MQCloseQueue(forwarder);
}

// The broker confirmed a message but forgetting it here failed (as when the process dies
// between the two): it is published again, and the receiver takes it once.
TEST_F(BrokerTest, AMessagePublishedTwiceIsTakenOnce) {
  ASSERT_EQ(msmq::SetBroker(node_->Url()), static_cast<DWORD>(ERROR_SUCCESS));
  winport::fault::FailCall("OutgoingForwarded", MQ_ERROR_MESSAGE_STORAGE_FAILED);
  const QUEUEHANDLE sender = msmq_tests::OpenQueue(kCentral, MQ_SEND_ACCESS);
  ASSERT_EQ(msmq_tests::Send(sender, "once"), MQ_OK);
  ASSERT_TRUE(WaitUntil([](const Outgoing& o) { return o.waiting == 0; }));
  EXPECT_EQ(TakeAll(), std::vector<std::string>{"once"});
  EXPECT_EQ(ReadOutgoing().duplicates, 1u);
  MQCloseQueue(sender);
}

// Over TLS, each side's certificate checked against the fleet's own authority, reports
// travel (and are received) as over TCP. Without the client's certificate the broker
// refuses the link; a broker that another authority did not sign for is refused for good.
// Either way the reports wait here.
TEST_F(BrokerTlsTest, ReportsTravelOnlyWhenBothCertificatesCheckOut) {
  ASSERT_EQ(msmq::SetBroker(node_->TlsUrl(node_->Authority())), static_cast<DWORD>(ERROR_SUCCESS));
  const QUEUEHANDLE sender = msmq_tests::OpenQueue(kCentral, MQ_SEND_ACCESS);
  ASSERT_EQ(msmq_tests::Send(sender, "sealed"), MQ_OK);
  ASSERT_TRUE(WaitUntil([](const Outgoing& o) { return o.waiting == 0; })) << ReadOutgoing().reason;
  EXPECT_EQ(TakeAll(), std::vector<std::string>{"sealed"});

  const struct {
    std::string url;
    std::string state;
  } refusals[] = {{node_->TlsUrl(node_->Authority(), false), "WAITING"},
                  {node_->TlsUrl(node_->OtherAuthority()), "ERROR"}};
  for (const auto& refusal : refusals) {
    ASSERT_EQ(msmq::SetBroker(refusal.url), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(msmq_tests::Send(sender, "kept"), MQ_OK);
    EXPECT_TRUE(WaitUntil([&](const Outgoing& o) {
      return o.state == refusal.state && o.reason.find("SSL") != std::string::npos;
    })) << refusal.url
        << ": " << ReadOutgoing().state << " " << ReadOutgoing().reason;
  }
  EXPECT_EQ(ReadOutgoing().waiting, 2u);
  MQCloseQueue(sender);
}

// What an operator sees when the broker's URL is wrong, its password is, or the broker is
// gone for good: the link's state with the reason, an event, and the messages kept here.
TEST_F(BrokerTest, BrokerFailuresAreShownLoggedAndLoseNothing) {
  struct Case {
    std::string url;
    std::string state;
    std::string reason;
  };
  const Case cases[] = {
      {node_->Url() + "nowhere", "ERROR", "NOT_ALLOWED - vhost nowhere not found"},
      {node_->Url("guest:wrong"), "ERROR", "ACCESS_REFUSED"},
      {node_->Url(), "CONNECTED", ""},
  };
  QUEUEHANDLE sender = nullptr;
  for (const Case& test : cases) {
    ASSERT_EQ(msmq::SetBroker(test.url), static_cast<DWORD>(ERROR_SUCCESS));
    if (sender == nullptr) {
      sender = msmq_tests::OpenQueue(kCentral, MQ_SEND_ACCESS);
      ASSERT_EQ(msmq_tests::Send(sender, "one"), MQ_OK);
    }
    EXPECT_TRUE(WaitUntil([&](const Outgoing& o) {
      return o.state == test.state && o.reason.find(test.reason) != std::string::npos;
    })) << test.state
        << ": " << ReadOutgoing().reason;
    if (test.state == "ERROR") {
      EXPECT_EQ(ReadOutgoing().waiting, 1u);
    }
  }
  ASSERT_TRUE(WaitUntil([](const Outgoing& o) { return o.waiting == 0; }));
  node_->Stop();
  ASSERT_EQ(msmq_tests::Send(sender, "two"), MQ_OK);
  EXPECT_TRUE(WaitUntil([](const Outgoing& o) {
    return o.state == "WAITING" && o.reason.find("cannot reach the broker") != std::string::npos;
  })) << ReadOutgoing().reason;
  EXPECT_EQ(ReadOutgoing().waiting, 1u);
  MQCloseQueue(sender);

  std::vector<std::string> link_events;
  for (const std::string& event : delivery_tests::Events()) {
    if (event.rfind("MSMQ ", 0) == 0) link_events.push_back(event.substr(0, 17));
  }
  EXPECT_EQ(link_events, (std::vector<std::string>{"MSMQ C0000901 1 0", "MSMQ C0000901 1 0",
                                                   "MSMQ 40000902 4 0", "MSMQ 80000900 2 0"}));
}

}  // namespace
}  // namespace broker_tests
