#include "queue_runtime.h"

#include <winport/message_queuing.h>
#include <winport/windows.h>

#include "host/commands/command_support.h"
#include "host/common/hresult_text.h"

namespace quillmere::host {
namespace {

// The runtime's limit for a format name, terminator included.
constexpr DWORD kFormatNameLength = 260;
// The largest body a message may have.
constexpr size_t kLargestBody = 4 * 1024 * 1024;

template <class Function>
Function Bind(HMODULE library, const char* name) {
  auto* function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
  if (function == nullptr)
    throw CommandFailure(std::string("the message-queue runtime has no ") + name);
  return function;
}

// What a person can do about the usual failures; the code for the rest.
[[noreturn]] void Fail(const char* call, HRESULT result, std::string_view name) {
  const std::string queue(name);
  switch (result) {
    case MQ_ERROR_QUEUE_NOT_FOUND:
      throw CommandFailure("no queue named " + queue);
    case MQ_ERROR_ILLEGAL_QUEUE_PATHNAME:
    case MQ_ERROR_NO_DS:
      throw CommandFailure("not a private queue name: " + queue);
    case MQ_ERROR_SHARING_VIOLATION:
      throw CommandFailure("queue " + queue + " is held by a receiver that excludes others");
    case MQ_ERROR_SERVICE_NOT_AVAILABLE:
      throw CommandFailure("message queuing is stopped (quillmere queue start)");
    case MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE:
      throw CommandFailure("the broker holding " + queue +
                           " cannot be reached (quillmere queue outgoing shows why)");
    default:
      throw CommandFailure(std::string(call) + " failed with " + HresultText(result));
  }
}

}  // namespace

winport::WideString QueuePathName(std::string_view name) {
  const winport::WideString wide = winport::Utf8ToWide(name);
  return name.find('\\') == std::string_view::npos ? u".\\PRIVATE$\\" + wide : wide;
}

std::string BodyText(const BYTE* body, size_t size) {
  // UTF-8 text has no NUL byte; UTF-16 of markup has one in nearly every unit.
  bool utf16 = size % 2 == 0 && size > 0;
  if (utf16) {
    utf16 = false;
    for (size_t i = 0; i < size && !utf16; ++i)
      utf16 = body[i] == 0;
  }
  if (!utf16) return std::string(reinterpret_cast<const char*>(body), size);
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(body[2 * i] | (body[2 * i + 1] << 8));
  if (!units.empty() && units.front() == u'\xFEFF') units.erase(0, 1);
  while (!units.empty() && units.back() == u'\0')
    units.pop_back();
  return winport::WideToUtf8(units);
}

QueueRuntime::QueueRuntime() {
  if (!winport::msmq::IsInstalled())
    throw CommandFailure("message queuing is not installed (quillmere queue install)");
  if (!winport::msmq::IsRunning())
    throw CommandFailure("message queuing is stopped (quillmere queue start)");
  library_.Reset(LoadLibraryW(u"mqrt.dll"));
  if (!library_.IsValid()) throw CommandFailure("the message-queue runtime mqrt.dll is missing");
  const HMODULE bound = library_.Get();
  pathNameToFormatName_ = Bind<decltype(&MQPathNameToFormatName)>(bound, "MQPathNameToFormatName");
  openQueue_ = Bind<decltype(&MQOpenQueue)>(bound, "MQOpenQueue");
  closeQueue_ = Bind<decltype(&MQCloseQueue)>(bound, "MQCloseQueue");
  receiveMessage_ = Bind<decltype(&MQReceiveMessage)>(bound, "MQReceiveMessage");
  mgmtGetInfo_ = Bind<decltype(&MQMgmtGetInfo)>(bound, "MQMgmtGetInfo");
  freeMemory_ = Bind<decltype(&MQFreeMemory)>(bound, "MQFreeMemory");
}

std::vector<std::string> QueueRuntime::PrivateQueues() const {
  return MachineList(PROPID_MGMT_MSMQ_PRIVATEQ);
}

std::vector<std::string> QueueRuntime::ActiveQueues() const {
  return MachineList(PROPID_MGMT_MSMQ_ACTIVEQUEUES);
}

std::vector<std::string> QueueRuntime::MachineList(MGMTPROPID property) const {
  MGMTPROPID ids[] = {property};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  const HRESULT asked = mgmtGetInfo_(nullptr, u"MACHINE", &properties);
  if (FAILED(asked)) Fail("MQMgmtGetInfo", asked, "MACHINE");
  std::vector<std::string> names;
  const CALPWSTR& list = values[0].calpwstr;
  for (ULONG i = 0; i < list.cElems; ++i) {
    names.push_back(winport::WideToUtf8(list.pElems[i]));
    freeMemory_(list.pElems[i]);
  }
  freeMemory_(list.pElems);
  return names;
}

winport::WideString QueueRuntime::FormatName(std::string_view name) const {
  const winport::WideString pathName = QueuePathName(name);
  WCHAR formatName[kFormatNameLength] = {};
  DWORD length = kFormatNameLength;
  const HRESULT found = pathNameToFormatName_(pathName.c_str(), formatName, &length);
  if (FAILED(found)) Fail("MQPathNameToFormatName", found, name);
  return formatName;
}

ULONG QueueRuntime::Count(const winport::WideString& formatName) const {
  const winport::WideString object = u"QUEUE=" + formatName;
  MGMTPROPID ids[] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  const HRESULT asked = mgmtGetInfo_(nullptr, object.c_str(), &properties);
  if (FAILED(asked)) Fail("MQMgmtGetInfo", asked, winport::WideToUtf8(formatName));
  return values[0].ulVal;
}

std::vector<OutgoingQueue> QueueRuntime::OutgoingQueues() const {
  std::vector<OutgoingQueue> queues;
  for (const std::string& formatName : ActiveQueues()) {
    const winport::WideString object = u"QUEUE=" + winport::Utf8ToWide(formatName);
    MGMTPROPID ids[] = {PROPID_MGMT_QUEUE_STATE, PROPID_MGMT_QUEUE_STATE_REASON,
                        PROPID_MGMT_QUEUE_OUTGOING_MESSAGE_COUNT, PROPID_MGMT_QUEUE_MESSAGE_COUNT,
                        PROPID_MGMT_QUEUE_DUPLICATES_DROPPED};
    MQPROPVARIANT values[5] = {};
    for (MQPROPVARIANT& value : values)
      value.vt = VT_NULL;
    MQMGMTPROPS properties{5, ids, values, nullptr};
    const HRESULT asked = mgmtGetInfo_(nullptr, object.c_str(), &properties);
    if (FAILED(asked)) Fail("MQMgmtGetInfo", asked, formatName);
    OutgoingQueue& queue = queues.emplace_back();
    queue.formatName = formatName;
    queue.state = winport::WideToUtf8(values[0].pwszVal);
    queue.reason = winport::WideToUtf8(values[1].pwszVal);
    freeMemory_(values[0].pwszVal);
    freeMemory_(values[1].pwszVal);
    queue.waiting = values[2].ulVal;
    queue.messages = values[3].ulVal;
    queue.duplicatesDropped = values[4].ulVal;
  }
  return queues;
}

QueueRuntime::Forwarding::Forwarding(const QueueRuntime& runtime) : runtime_(runtime) {
  for (const std::string& formatName : runtime.ActiveQueues()) {
    QUEUEHANDLE handle = nullptr;
    const HRESULT opened = runtime.openQueue_(winport::Utf8ToWide(formatName).c_str(),
                                              MQ_SEND_ACCESS, MQ_DENY_NONE, &handle);
    if (FAILED(opened)) Fail("MQOpenQueue", opened, formatName);
    handles_.push_back(handle);
  }
}

QueueRuntime::Forwarding::~Forwarding() {
  for (QUEUEHANDLE handle : handles_)
    runtime_.closeQueue_(handle);
}

QueueRuntime::Reader::Reader(const QueueRuntime& runtime, std::string_view name, DWORD access)
    : runtime_(runtime), name_(name) {
  const winport::WideString formatName = runtime.FormatName(name);
  const HRESULT opened = runtime.openQueue_(formatName.c_str(), access, MQ_DENY_NONE, &handle_);
  if (FAILED(opened)) {
    handle_ = nullptr;
    Fail("MQOpenQueue", opened, name);
  }
}

QueueRuntime::Reader::~Reader() {
  if (handle_ != nullptr) runtime_.closeQueue_(handle_);
}

std::optional<std::string> QueueRuntime::Reader::Next(DWORD timeoutMs, bool remove) {
  buffer_.resize(kLargestBody);
  MSGPROPID ids[] = {PROPID_M_BODY, PROPID_M_BODY_SIZE};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_VECTOR | VT_UI1;
  values[0].caub.cElems = static_cast<ULONG>(buffer_.size());
  values[0].caub.pElems = buffer_.data();
  values[1].vt = VT_NULL;
  MQMSGPROPS properties{2, ids, values, nullptr};
  const HRESULT received = runtime_.receiveMessage_(
      handle_, timeoutMs, remove ? MQ_ACTION_RECEIVE : MQ_ACTION_PEEK_CURRENT, &properties, nullptr,
      nullptr, nullptr, nullptr);
  if (received == MQ_ERROR_IO_TIMEOUT) return std::nullopt;
  if (FAILED(received)) Fail("MQReceiveMessage", received, name_);
  return BodyText(buffer_.data(), values[1].ulVal);
}

}  // namespace quillmere::host
