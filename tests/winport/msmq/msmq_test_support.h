// Calls of the message-queue runtime with the property sets a test needs, on a machine
// where message queuing is installed (the fixtures).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <winport/message_queuing.h>
#include <winport/windows.h>

namespace msmq_tests {

using winport::WideString;
using winport::WideView;

inline MQPROPVARIANT Variant(VARTYPE vt, ULONG value = 0) {
  MQPROPVARIANT variant = {};
  variant.vt = vt;
  if (vt == VT_UI1) variant.bVal = static_cast<UCHAR>(value);
  if (vt == VT_UI4) variant.ulVal = value;
  return variant;
}

inline MQPROPVARIANT Text(const WCHAR* text) {
  MQPROPVARIANT variant = Variant(VT_LPWSTR);
  variant.pwszVal = const_cast<LPWSTR>(text);
  return variant;
}

inline MQPROPVARIANT Bytes(const void* data, std::size_t size) {
  MQPROPVARIANT variant = Variant(VT_VECTOR | VT_UI1);
  variant.caub = {static_cast<ULONG>(size), static_cast<UCHAR*>(const_cast<void*>(data))};
  return variant;
}

// MQCreateQueue with a path name and label; the format name in *format_name if given.
inline HRESULT CreateQueue(WideView path_name, WideString* format_name = nullptr,
                           WideView label = u"") {
  const WideString path(path_name);
  const WideString label_text(label);
  QUEUEPROPID ids[2] = {PROPID_Q_PATHNAME, PROPID_Q_LABEL};
  MQPROPVARIANT values[2] = {Text(path.c_str()), Text(label_text.c_str())};
  MQQUEUEPROPS properties{2, ids, values, nullptr};
  WCHAR buffer[260];
  DWORD length = 260;
  const HRESULT created = MQCreateQueue(nullptr, &properties, buffer, &length);
  if (created == MQ_OK && format_name) *format_name = WideString(buffer, length - 1);
  return created;
}

inline HRESULT FormatName(WideView path_name, WideString* format_name) {
  WCHAR buffer[260];
  DWORD length = 260;
  const HRESULT found = MQPathNameToFormatName(WideString(path_name).c_str(), buffer, &length);
  if (found == MQ_OK) *format_name = WideString(buffer, length - 1);
  return found;
}

inline WideString NewQueue(WideView path_name = u".\\PRIVATE$\\TestQueue") {
  WideString format_name;
  EXPECT_EQ(CreateQueue(path_name, &format_name), MQ_OK);
  return format_name;
}

inline QUEUEHANDLE OpenQueue(WideView format_name, DWORD access, DWORD share = MQ_DENY_NONE) {
  QUEUEHANDLE queue = nullptr;
  EXPECT_EQ(MQOpenQueue(WideString(format_name).c_str(), access, share, &queue), MQ_OK);
  return queue;
}

inline HRESULT Send(QUEUEHANDLE queue, std::string_view body, UCHAR priority = 3,
                    UCHAR delivery = MQMSG_DELIVERY_EXPRESS) {
  MSGPROPID ids[3] = {PROPID_M_BODY, PROPID_M_PRIORITY, PROPID_M_DELIVERY};
  MQPROPVARIANT values[3] = {Bytes(body.data(), body.size()), Variant(VT_UI1, priority),
                             Variant(VT_UI1, delivery)};
  MQMSGPROPS properties{3, ids, values, nullptr};
  return MQSendMessage(queue, &properties, MQ_NO_TRANSACTION);
}

// Receives (or peeks) one message's body of up to the largest size.
inline HRESULT Receive(QUEUEHANDLE queue, std::string* body, DWORD timeout_ms = 0,
                       DWORD action = MQ_ACTION_RECEIVE) {
  std::vector<char> buffer(4 * 1024 * 1024);
  MSGPROPID ids[2] = {PROPID_M_BODY, PROPID_M_BODY_SIZE};
  MQPROPVARIANT values[2] = {Bytes(buffer.data(), buffer.size()), Variant(VT_NULL)};
  MQMSGPROPS properties{2, ids, values, nullptr};
  const HRESULT received =
      MQReceiveMessage(queue, timeout_ms, action, &properties, nullptr, nullptr, nullptr, nullptr);
  if (received == MQ_OK) body->assign(buffer.data(), values[1].ulVal);
  return received;
}

// MQMgmtGetInfo's message count.
inline ULONG Count(WideView format_name) {
  MGMTPROPID ids[1] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {Variant(VT_NULL)};
  MQMGMTPROPS properties{1, ids, values, nullptr};
  const WideString object = u"QUEUE=" + WideString(format_name);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, object.c_str(), &properties), MQ_OK);
  EXPECT_EQ(values[0].vt, VT_UI4);
  return values[0].ulVal;
}

class InstalledMachine : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(winport::msmq::Install(), static_cast<DWORD>(ERROR_SUCCESS)); }
};

// A queue with a handle to send and one to receive.
class OpenedQueue : public InstalledMachine {
 protected:
  void SetUp() override {
    InstalledMachine::SetUp();
    format_name_ = NewQueue();
    sender_ = OpenQueue(format_name_, MQ_SEND_ACCESS);
    receiver_ = OpenQueue(format_name_, MQ_RECEIVE_ACCESS);
  }
  void TearDown() override {
    MQCloseQueue(sender_);
    MQCloseQueue(receiver_);
  }
  WideString format_name_;
  QUEUEHANDLE sender_ = nullptr;
  QUEUEHANDLE receiver_ = nullptr;
};

}  // namespace msmq_tests
