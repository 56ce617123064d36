// One queue, several processes: a sender, two receivers, and a receiver killed while it
// receives. Every message arrives once, and each receiver sees them in the order sent.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "linux/child_process.h"
#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using winport::WideString;
using winport_tests::Child;
using ProcessesTest = InstalledMachine;

constexpr int kMessages = 1000;

void WriteLine(int fd, const std::string& text) {
  const std::string line = text + "\n";
  (void)!::write(fd, line.data(), line.size());
}

// The numbers a child wrote, one a line, until it closed its end.
std::vector<int> ReadNumbers(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, got);
  std::vector<int> numbers;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    numbers.push_back(std::stoi(text.substr(start, end - start)));
  }
  return numbers;
}

// Receives and reports each number until the "end" message.
int ReceiveUntilEnd(const WideString& format_name, int report) {
  QUEUEHANDLE queue = nullptr;
  if (MQOpenQueue(format_name.c_str(), MQ_RECEIVE_ACCESS, MQ_DENY_NONE, &queue) != MQ_OK) return 1;
  for (std::string body; Receive(queue, &body, INFINITE) == MQ_OK;) {
    if (body == "end") return 0;
    WriteLine(report, body);
  }
  return 2;
}

bool StrictlyIncreasing(const std::vector<int>& numbers) {
  return std::adjacent_find(numbers.begin(), numbers.end(), std::greater_equal<int>()) ==
         numbers.end();
}

TEST_F(ProcessesTest, EachMessageOnceInOrderEvenWhenAReceiverIsKilled) {
  const WideString format_name = NewQueue();
  // The killed receiver's body buffer, which survives it: a message it took but could
  // not report before dying is found there.
  auto* last_body = static_cast<char*>(
      ::mmap(nullptr, 64, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(last_body, MAP_FAILED);

  Child first([&](int, int report) { return ReceiveUntilEnd(format_name, report); });
  Child second([&](int, int report) { return ReceiveUntilEnd(format_name, report); });
  Child killed([&](int, int report) {
    QUEUEHANDLE queue = nullptr;
    if (MQOpenQueue(format_name.c_str(), MQ_RECEIVE_ACCESS, MQ_DENY_NONE, &queue) != MQ_OK) {
      return 1;
    }
    for (;;) {
      std::memset(last_body, 0, 64);
      MSGPROPID ids[1] = {PROPID_M_BODY};
      MQPROPVARIANT values[1] = {};
      values[0].vt = VT_VECTOR | VT_UI1;
      values[0].caub = {63, reinterpret_cast<UCHAR*>(last_body)};
      MQMSGPROPS properties{1, ids, values, nullptr};
      if (MQReceiveMessage(queue, INFINITE, MQ_ACTION_RECEIVE, &properties, nullptr, nullptr,
                           nullptr, nullptr) != MQ_OK) {
        return 2;
      }
      WriteLine(report, last_body);
    }
  });
  Child sender([&](int go, int halfway) {
    QUEUEHANDLE queue = nullptr;
    if (MQOpenQueue(format_name.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &queue) != MQ_OK) return 1;
    for (int i = 0; i < kMessages; ++i) {
      if (Send(queue, std::to_string(i)) != MQ_OK) return 2;
      if (i == kMessages / 2) {
        WriteLine(halfway, "half");
        char byte;
        if (::read(go, &byte, 1) != 1) return 3;
      }
    }
    // After every number, whatever the receivers' pace.
    return Send(queue, "end", 0) == MQ_OK && Send(queue, "end", 0) == MQ_OK ? 0 : 4;
  });
  ASSERT_TRUE(first.started() && second.started() && killed.started() && sender.started());
  for (Child* child : {&first, &second, &killed, &sender})
    child->Go();

  // Halfway through the sends, the third receiver dies, whatever it is doing.
  ASSERT_TRUE(sender.Signalled());
  ASSERT_EQ(::kill(killed.pid(), SIGKILL), 0);
  EXPECT_EQ(killed.Wait(), -1);
  sender.Go();
  EXPECT_EQ(sender.Wait(), 0);

  const std::vector<int> by_first = ReadNumbers(first.done());
  const std::vector<int> by_second = ReadNumbers(second.done());
  const std::vector<int> by_killed = ReadNumbers(killed.done());
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_TRUE(StrictlyIncreasing(by_first));
  EXPECT_TRUE(StrictlyIncreasing(by_second));
  EXPECT_TRUE(StrictlyIncreasing(by_killed));

  std::multiset<int> arrived(by_first.begin(), by_first.end());
  arrived.insert(by_second.begin(), by_second.end());
  arrived.insert(by_killed.begin(), by_killed.end());
  if (last_body[0] != '\0' && arrived.count(std::atoi(last_body)) == 0) {
    arrived.insert(std::atoi(last_body));  // taken, committed, then killed before reporting
  }
  std::multiset<int> sent;
  for (int i = 0; i < kMessages; ++i)
    sent.insert(i);
  EXPECT_EQ(arrived, sent);
  ULONG count = 99;
  ASSERT_EQ(CountMessages(format_name, &count), MQ_OK);
  EXPECT_EQ(count, 0u);
  ::munmap(last_body, 64);
}

}  // namespace
}  // namespace msmq_tests
