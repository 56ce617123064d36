// Calls of the message-queue runtime with the property sets a test needs, on a machine
// where message queuing is installed (the fixture).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <winport/message_queuing.h>
#include <winport/windows.h>

namespace msmq_tests {

class InstalledMachine : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(winport::msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS)); }
};

// A queue with a handle to send and one to receive.
class OpenedQueue : public InstalledMachine {
 protected:
  void SetUp() override;
  void TearDown() override;
  winport::WideString format_name_;
  QUEUEHANDLE sender_ = nullptr;
  QUEUEHANDLE receiver_ = nullptr;
};

// MQCreateQueue with a path name (and label), the format name in *format_name.
HRESULT CreateQueue(winport::WideView path_name, winport::WideString* format_name,
                    winport::WideView label = u"");
// A queue made for the test, by its format name.
winport::WideString NewQueue(winport::WideView path_name = u".\\PRIVATE$\\TestQueue");
QUEUEHANDLE OpenQueue(winport::WideView format_name, DWORD access, DWORD share = MQ_DENY_NONE);

HRESULT Send(QUEUEHANDLE queue, std::string_view body, UCHAR priority = 3,
             UCHAR delivery = MQMSG_DELIVERY_EXPRESS);
// Receives (or peeks) one message's body, whatever its size.
HRESULT Receive(QUEUEHANDLE queue, std::string* body, DWORD timeout_ms = 0,
                DWORD action = MQ_ACTION_RECEIVE);
// MQMgmtGetInfo's message count, or the failure's code as the count's stand-in.
HRESULT CountMessages(winport::WideView format_name, ULONG* count);

}  // namespace msmq_tests
