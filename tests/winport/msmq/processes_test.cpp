// One queue, several processes: two receivers, and a receiver killed while it receives.
// Every message arrives once, and each receiver sees them in the order sent.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "linux/child_process.h"
#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using winport_tests::Child;
using ProcessesTest = InstalledMachine;

constexpr int kMessages = 1000;
constexpr std::size_t kSlot = 64;

// Receives each body into `last` and reports its number, until the "end" message.
int ReceiveUntilEnd(const WideString& format_name, char* last, int report) {
  const QUEUEHANDLE queue = OpenQueue(format_name, MQ_RECEIVE_ACCESS);
  for (;;) {
    std::memset(last, 0, kSlot);
    MSGPROPID ids[1] = {PROPID_M_BODY};
    MQPROPVARIANT values[1] = {Bytes(last, kSlot - 1)};
    MQMSGPROPS properties{1, ids, values, nullptr};
    if (MQReceiveMessage(queue, INFINITE, MQ_ACTION_RECEIVE, &properties, nullptr, nullptr, nullptr,
                         nullptr) != MQ_OK) {
      return 2;
    }
    if (std::strcmp(last, "end") == 0) return 0;
    const int number = std::atoi(last);
    (void)!::write(report, &number, sizeof number);
  }
}

// The numbers a child reported, until it closed its end.
std::vector<int> ReadNumbers(int fd) {
  std::vector<int> numbers;
  for (int number; ::read(fd, &number, sizeof number) == sizeof number;)
    numbers.push_back(number);
  return numbers;
}

TEST_F(ProcessesTest, EachMessageOnceInOrderEvenWhenAReceiverIsKilled) {
  const WideString format_name = NewQueue();
  // The receivers' body buffers, which outlive them: a message the killed one took but
  // could not report before dying is found in its buffer.
  auto* last = static_cast<char*>(
      ::mmap(nullptr, 3 * kSlot, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(last, MAP_FAILED);
  char* const killed_last = last + 2 * kSlot;
  Child first([&](int, int report) { return ReceiveUntilEnd(format_name, last, report); });
  Child second([&](int, int report) { return ReceiveUntilEnd(format_name, last + kSlot, report); });
  Child killed([&](int, int report) { return ReceiveUntilEnd(format_name, killed_last, report); });
  ASSERT_TRUE(first.started() && second.started() && killed.started());
  for (Child* child : {&first, &second, &killed})
    child->Go();

  const QUEUEHANDLE sender = OpenQueue(format_name, MQ_SEND_ACCESS);
  for (int i = 0; i < kMessages; ++i) {
    // Halfway through the sends, the third receiver dies, whatever it is doing.
    if (i == kMessages / 2) ::kill(killed.pid(), SIGKILL);
    EXPECT_EQ(Send(sender, std::to_string(i)), MQ_OK);
  }
  // After every number, whatever the receivers' pace.
  EXPECT_EQ(Send(sender, "end", 0), MQ_OK);
  EXPECT_EQ(Send(sender, "end", 0), MQ_OK);
  MQCloseQueue(sender);

  std::multiset<int> arrived;
  for (Child* child : {&first, &second, &killed}) {
    const std::vector<int> numbers = ReadNumbers(child->done());
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));  // and each once: below
    arrived.insert(numbers.begin(), numbers.end());
  }
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_EQ(killed.Wait(), -1);  // killed, not ended
  if (std::isdigit(killed_last[0]) && arrived.count(std::atoi(killed_last)) == 0)
    arrived.insert(std::atoi(killed_last));  // taken, committed, then killed before reporting
  std::multiset<int> sent;
  for (int i = 0; i < kMessages; ++i)
    sent.insert(i);
  EXPECT_EQ(arrived, sent);
  EXPECT_EQ(Count(format_name), 0u);
  ::munmap(last, 3 * kSlot);
}

}  // namespace
}  // namespace msmq_tests
