#include "diagnostics/msmq_queue.h"

#include "diagnostics/report_levels.h"
#include "event_ids.h"

namespace quillmere {
namespace {

// The runtime's own limit for a format name, terminator included.
constexpr DWORD kFormatNameLength = 260;
// MAX_COMPUTERNAME_LENGTH and its terminator.
constexpr DWORD kComputerNameLength = 16;

// The label a queue is created with: its name after the last backslash.
winport::WideString LabelOf(const winport::WideString& pathName) {
  const auto slash = pathName.rfind(OLESTR('\\'));
  return slash == winport::WideString::npos ? pathName : pathName.substr(slash + 1);
}

}  // namespace

MsmqQueue::MsmqQueue(const MsmqRuntime& runtime, const EventLogChannel& events)
    : runtime_(runtime), events_(events) {}

MsmqQueue::~MsmqQueue() {
  Close();
}

void MsmqQueue::Close() {
  if (handle_ != nullptr && runtime_.bound) runtime_.closeQueue(handle_);
  handle_ = nullptr;
}

bool MsmqQueue::Open(const OLECHAR* pathName, DWORD capacity) {
  if (!runtime_.bound) return false;
  Close();
  pathName_ = pathName != nullptr ? pathName : OLESTR("");
  capacity_ = capacity;
  winport::WideString label = LabelOf(pathName_);

  QUEUEPROPID ids[] = {PROPID_Q_PATHNAME, PROPID_Q_LABEL};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_LPWSTR;
  values[0].pwszVal = pathName_.data();
  values[1].vt = VT_LPWSTR;
  values[1].pwszVal = label.data();
  MQQUEUEPROPS properties{2, ids, values, nullptr};
  WCHAR formatName[kFormatNameLength] = {};
  DWORD length = kFormatNameLength;
  const HRESULT created = runtime_.createQueue(nullptr, &properties, formatName, &length);
  if (created == MQ_ERROR_QUEUE_EXISTS) {
    length = kFormatNameLength;
    const HRESULT found = runtime_.pathNameToFormatName(pathName_.c_str(), formatName, &length);
    if (FAILED(found)) {
      events_.ReportComError(OLESTR("MSMQ::MQPathNameToFormatName"), found);
      return false;
    }
  } else if (created == MQ_ERROR_SERVICE_NOT_AVAILABLE) {
    events_.WriteEvent(EVENTLOG_WARNING_TYPE, kCategoryNone, kEventMsmqServiceStopped);
    return false;
  } else if (created != MQ_OK) {
    events_.ReportComError(OLESTR("MSMQ::MQCreateQueue"), created);
    return false;
  }
  formatName_ = formatName;

  const HRESULT opened =
      runtime_.openQueue(formatName_.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &handle_);
  if (FAILED(opened)) {
    handle_ = nullptr;
    events_.ReportComError(OLESTR("MSMQ::MQOpenQueue"), opened);
    return false;
  }
  return true;
}

bool MsmqQueue::IsFull() const {
  if (!runtime_.bound || handle_ == nullptr) return true;
  WCHAR computer[kComputerNameLength] = {};
  DWORD computerLength = kComputerNameLength;
  GetComputerNameW(computer, &computerLength);

  const winport::WideString queue = OLESTR("QUEUE=") + formatName_;
  MGMTPROPID ids[] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  const HRESULT asked = runtime_.mgmtGetInfo(computer, queue.c_str(), &properties);
  if (FAILED(asked)) {
    events_.ReportComError(OLESTR("MSMQ::MQMgmtGetInfo"), asked);
    return true;
  }
  if (values[0].ulVal >= capacity_) {
    events_.WriteEvent(EVENTLOG_ERROR_TYPE, kCategoryNone, kEventMsmqQueueFull);
    return true;
  }
  return false;
}

void MsmqQueue::Send(winport::WideView xmlText) const {
  const auto bytes = static_cast<ULONG>(xmlText.size() * sizeof(OLECHAR));
  MSGPROPID ids[] = {PROPID_M_BODY, PROPID_M_BODY_SIZE};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_VECTOR | VT_UI1;
  values[0].caub.cElems = bytes;
  values[0].caub.pElems = reinterpret_cast<UCHAR*>(const_cast<OLECHAR*>(xmlText.data()));
  values[1].vt = VT_UI4;
  values[1].ulVal = bytes;
  HRESULT statuses[2] = {};
  MQMSGPROPS properties{2, ids, values, statuses};
  const HRESULT sent = runtime_.sendMessage(handle_, &properties, MQ_NO_TRANSACTION);
  if (FAILED(sent)) events_.ReportComError(OLESTR("MSMQ::MQSendMessage"), sent);
}

}  // namespace quillmere
