#include "msmq_test_support.h"

#include <vector>

namespace msmq_tests {

using winport::WideString;
using winport::WideView;

void OpenedQueue::SetUp() {
  InstalledMachine::SetUp();
  format_name_ = NewQueue();
  sender_ = OpenQueue(format_name_, MQ_SEND_ACCESS);
  receiver_ = OpenQueue(format_name_, MQ_RECEIVE_ACCESS);
}

void OpenedQueue::TearDown() {
  MQCloseQueue(sender_);
  MQCloseQueue(receiver_);
}

HRESULT CreateQueue(WideView path_name, WideString* format_name, WideView label) {
  const WideString path(path_name);
  const WideString label_text(label);
  QUEUEPROPID ids[2] = {PROPID_Q_PATHNAME, PROPID_Q_LABEL};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_LPWSTR;
  values[0].pwszVal = const_cast<LPWSTR>(path.c_str());
  values[1].vt = VT_LPWSTR;
  values[1].pwszVal = const_cast<LPWSTR>(label_text.c_str());
  MQQUEUEPROPS properties{2, ids, values, nullptr};
  WCHAR buffer[260];
  DWORD length = 260;
  const HRESULT created = MQCreateQueue(nullptr, &properties, buffer, &length);
  if (created == MQ_OK) *format_name = WideString(buffer, length - 1);
  return created;
}

WideString NewQueue(WideView path_name) {
  WideString format_name;
  EXPECT_EQ(CreateQueue(path_name, &format_name), MQ_OK);
  return format_name;
}

QUEUEHANDLE OpenQueue(WideView format_name, DWORD access, DWORD share) {
  QUEUEHANDLE queue = nullptr;
  EXPECT_EQ(MQOpenQueue(WideString(format_name).c_str(), access, share, &queue), MQ_OK);
  return queue;
}

HRESULT Send(QUEUEHANDLE queue, std::string_view body, UCHAR priority, UCHAR delivery) {
  MSGPROPID ids[3] = {PROPID_M_BODY, PROPID_M_PRIORITY, PROPID_M_DELIVERY};
  MQPROPVARIANT values[3] = {};
  values[0].vt = VT_VECTOR | VT_UI1;
  values[0].caub.cElems = static_cast<ULONG>(body.size());
  values[0].caub.pElems = reinterpret_cast<UCHAR*>(const_cast<char*>(body.data()));
  values[1].vt = VT_UI1;
  values[1].bVal = priority;
  values[2].vt = VT_UI1;
  values[2].bVal = delivery;
  MQMSGPROPS properties{3, ids, values, nullptr};
  return MQSendMessage(queue, &properties, MQ_NO_TRANSACTION);
}

HRESULT Receive(QUEUEHANDLE queue, std::string* body, DWORD timeout_ms, DWORD action) {
  std::vector<UCHAR> buffer(16);
  for (;;) {
    MSGPROPID ids[2] = {PROPID_M_BODY, PROPID_M_BODY_SIZE};
    MQPROPVARIANT values[2] = {};
    values[0].vt = VT_VECTOR | VT_UI1;
    values[0].caub.cElems = static_cast<ULONG>(buffer.size());
    values[0].caub.pElems = buffer.data();
    values[1].vt = VT_NULL;
    MQMSGPROPS properties{2, ids, values, nullptr};
    const HRESULT received = MQReceiveMessage(queue, timeout_ms, action, &properties, nullptr,
                                              nullptr, nullptr, nullptr);
    if (received == MQ_ERROR_BUFFER_OVERFLOW) {
      buffer.resize(values[1].ulVal);
      continue;
    }
    if (received == MQ_OK) body->assign(buffer.begin(), buffer.begin() + values[1].ulVal);
    return received;
  }
}

HRESULT CountMessages(WideView format_name, ULONG* count) {
  MGMTPROPID ids[1] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  const WideString object = u"QUEUE=" + WideString(format_name);
  const HRESULT answered = MQMgmtGetInfo(nullptr, object.c_str(), &properties);
  if (answered == MQ_OK) {
    EXPECT_EQ(values[0].vt, VT_UI4);
    *count = values[0].ulVal;
  }
  return answered;
}

}  // namespace msmq_tests
