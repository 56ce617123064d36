// The queue functions: create, name, open, close, delete and count queues.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "local_queue_store.h"
#include "property_set.h"
#include "queue_handles.h"
#include "remote_queue_store.h"
#include "runtime_call.h"

namespace mqrt {
namespace {

using winport::WideString;
using winport::WideView;

bool IsQueueProperty(PROPID id) {
  return id >= PROPID_Q_INSTANCE && id <= PROPID_Q_ADS_PATH;
}

struct NewQueue {
  LPCWSTR path_name = nullptr;
  WideView label;
};

HRESULT ReadQueueProperties(const MQQUEUEPROPS& properties, NewQueue* queue) {
  const HRESULT read =
      CheckEachProperty(properties, [&](PROPID id, const MQPROPVARIANT& value) -> HRESULT {
        if (id != PROPID_Q_PATHNAME && id != PROPID_Q_LABEL) {
          return IsQueueProperty(id) ? MQ_INFORMATION_PROPERTY_IGNORED : MQ_ERROR_ILLEGAL_PROPID;
        }
        if (value.vt != VT_LPWSTR) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
        if (value.pwszVal == nullptr) return MQ_ERROR_ILLEGAL_PROPERTY_VALUE;
        if (id == PROPID_Q_PATHNAME) {
          queue->path_name = value.pwszVal;
          return MQ_OK;
        }
        queue->label = WideView(value.pwszVal);
        return queue->label.size() > MQ_MAX_Q_LABEL_LEN ? MQ_ERROR_ILLEGAL_PROPERTY_VALUE : MQ_OK;
      });
  if (read < 0) return read;
  return queue->path_name == nullptr ? MQ_ERROR_INSUFFICIENT_PROPERTIES : read;
}

// Copies a format name with its terminator when the buffer holds it; *length becomes
// the characters needed, terminator included, either way.
bool CopyFormatName(WideView name, LPWSTR buffer, LPDWORD length) {
  const auto needed = static_cast<DWORD>(name.size() + 1);
  const bool fits = *length >= needed;
  if (fits) {
    name.copy(buffer, name.size());
    buffer[name.size()] = u'\0';
  }
  *length = needed;
  return fits;
}

// A private queue's path name, on this computer or another.
HRESULT LocatePathName(LPCWSTR path_name, QueueReference* queue) {
  if (path_name == nullptr) return MQ_ERROR_ILLEGAL_QUEUE_PATHNAME;
  return ParsePathName(path_name, queue);
}

// Access a handle may be opened with; receiving includes peeking.
bool IsKnownAccess(DWORD access) {
  const DWORD reading = access & ~static_cast<DWORD>(MQ_ADMIN_ACCESS);
  return access == MQ_SEND_ACCESS || reading == MQ_RECEIVE_ACCESS || reading == MQ_PEEK_ACCESS;
}

// A string a management property answers, allocated for MQFreeMemory.
HRESULT SetAllocatedText(MQPROPVARIANT* value, WideView text) {
  auto* copy = static_cast<WCHAR*>(std::malloc((text.size() + 1) * sizeof(WCHAR)));
  if (copy == nullptr) return MQ_ERROR_INSUFFICIENT_RESOURCES;
  text.copy(copy, text.size());
  copy[text.size()] = u'\0';
  value->vt = VT_LPWSTR;
  value->pwszVal = copy;
  return MQ_OK;
}

// An outgoing queue's link to the broker: INACTIVE, with why, when no process forwards.
HRESULT ReadLink(WideString* state, WideString* reason) {
  LinkState link = LinkState::kInactive;
  std::string why;
  if (const HRESULT read = RemoteQueueStore::Instance().Link(&link, &why); read != MQ_OK) {
    return read;
  }
  std::shared_ptr<void> probe;
  if (HoldLockFile("forwarder", true, &probe) == MQ_OK) {
    link = LinkState::kInactive;
    why = "no process is forwarding (quillmere queue forward)";
  }
  *state = LinkStateName(link);
  *reason = winport::Utf8ToWide(why);
  return MQ_OK;
}

HRESULT AnswerManagementProperties(QueueStore& store, QueueId id, const MQMGMTPROPS& properties) {
  // What the answer needs, read before anything is written into the caller's set; only
  // what is asked for, since a remote queue's count asks the broker.
  const bool remote = &store == &RemoteQueueStore::Instance();
  const auto asked = [&](PROPID wanted) {
    for (DWORD i = 0; i < properties.cProp; ++i) {
      if (properties.aPropID[i] == wanted) return true;
    }
    return false;
  };
  ULONG count = 0;
  ULONG outgoing = 0;
  ULONG duplicates = 0;
  WideString path_name;
  WideString format_name;
  WideString state = u"LOCAL CONNECTION";
  WideString reason;
  HRESULT read = MQ_OK;
  if (asked(PROPID_MGMT_QUEUE_MESSAGE_COUNT)) read = store.Count(id, &count);
  if (read == MQ_OK) read = store.Describe(id, &path_name, &format_name);
  if (read == MQ_OK && remote && asked(PROPID_MGMT_QUEUE_OUTGOING_MESSAGE_COUNT)) {
    read = RemoteQueueStore::Instance().OutgoingCount(id, &outgoing);
  }
  if (read == MQ_OK && remote && asked(PROPID_MGMT_QUEUE_DUPLICATES_DROPPED)) {
    read = RemoteQueueStore::Instance().DuplicatesDropped(&duplicates);
  }
  if (read == MQ_OK && remote &&
      (asked(PROPID_MGMT_QUEUE_STATE) || asked(PROPID_MGMT_QUEUE_STATE_REASON))) {
    read = ReadLink(&state, &reason);
  }
  if (read != MQ_OK) return read;
  const HRESULT answered =
      CheckEachProperty(properties, [&](PROPID property, MQPROPVARIANT& value) -> HRESULT {
        if (value.vt != VT_NULL) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
        switch (property) {
          case PROPID_MGMT_QUEUE_MESSAGE_COUNT:
            value.vt = VT_UI4;
            value.ulVal = count;
            return MQ_OK;
          case PROPID_MGMT_QUEUE_PATHNAME:
            return SetAllocatedText(&value, path_name);
          case PROPID_MGMT_QUEUE_FORMATNAME:
            return SetAllocatedText(&value, format_name);
          case PROPID_MGMT_QUEUE_STATE:
            return SetAllocatedText(&value, state);
          case PROPID_MGMT_QUEUE_STATE_REASON:
            return SetAllocatedText(&value, reason);
          case PROPID_MGMT_QUEUE_OUTGOING_MESSAGE_COUNT:
            value.vt = VT_UI4;
            value.ulVal = outgoing;
            return MQ_OK;
          case PROPID_MGMT_QUEUE_DUPLICATES_DROPPED:
            value.vt = VT_UI4;
            value.ulVal = duplicates;
            return MQ_OK;
          default:
            return MQ_ERROR_ILLEGAL_PROPID;
        }
      });
  if (answered >= 0) return answered;
  // Nothing is handed out by a call that fails.
  for (DWORD i = 0; i < properties.cProp; ++i) {
    if (properties.aPropVar[i].vt == VT_LPWSTR) {
      std::free(properties.aPropVar[i].pwszVal);
      properties.aPropVar[i].vt = VT_NULL;
    }
  }
  return answered;
}

// The path names of this computer's private queues (or the format names of its outgoing
// queues) as one vector of strings, each and the vector allocated for MQFreeMemory.
HRESULT AnswerQueueNames(QueueStore& store, bool format_names, MQPROPVARIANT* value) {
  std::vector<QueueId> ids;
  if (const HRESULT listed = store.List(&ids); listed != MQ_OK) return listed;
  std::vector<WideString> names(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    const HRESULT described = format_names ? store.Describe(ids[i], nullptr, &names[i])
                                           : store.Describe(ids[i], &names[i], nullptr);
    if (described != MQ_OK) return described;
  }
  auto* elements = static_cast<LPWSTR*>(std::calloc(names.size() + 1, sizeof(LPWSTR)));
  if (elements == nullptr) return MQ_ERROR_INSUFFICIENT_RESOURCES;
  for (size_t i = 0; i < names.size(); ++i) {
    MQPROPVARIANT text{};
    if (SetAllocatedText(&text, names[i]) != MQ_OK) {
      for (size_t j = 0; j < i; ++j)
        std::free(elements[j]);
      std::free(elements);
      return MQ_ERROR_INSUFFICIENT_RESOURCES;
    }
    elements[i] = text.pwszVal;
  }
  value->vt = VT_VECTOR | VT_LPWSTR;
  value->calpwstr.cElems = static_cast<ULONG>(names.size());
  value->calpwstr.pElems = elements;
  return MQ_OK;
}

// "MACHINE": the queue manager's own properties, of which this runtime answers the list of
// private queues and that of outgoing queues (the active ones, to other computers).
HRESULT AnswerMachineProperties(const MQMGMTPROPS& properties) {
  if (const HRESULT state = QueueManagerState(); state != MQ_OK) return state;
  for (DWORD i = 0; i < properties.cProp; ++i) {
    if (properties.aPropID[i] != PROPID_MGMT_MSMQ_PRIVATEQ &&
        properties.aPropID[i] != PROPID_MGMT_MSMQ_ACTIVEQUEUES) {
      return MQ_ERROR_ILLEGAL_PROPID;
    }
    if (properties.aPropVar[i].vt != VT_NULL) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
  }
  for (DWORD i = 0; i < properties.cProp; ++i) {
    const bool outgoing = properties.aPropID[i] == PROPID_MGMT_MSMQ_ACTIVEQUEUES;
    QueueStore& store = outgoing ? static_cast<QueueStore&>(RemoteQueueStore::Instance())
                                 : LocalQueueStore::Instance();
    if (const HRESULT answered = AnswerQueueNames(store, outgoing, &properties.aPropVar[i]);
        answered != MQ_OK) {
      return answered;
    }
  }
  return MQ_OK;
}

}  // namespace

HRESULT LocateQueue(LPCWSTR format_name, QueueStore** store, QueueId* id) {
  QueueReference queue;
  const HRESULT parsed =
      format_name != nullptr ? ParseFormatName(format_name, &queue) : MQ_ERROR_ILLEGAL_FORMATNAME;
  if (parsed != MQ_OK) return parsed;
  *store = StoreFor(queue);
  if (*store == nullptr) return MQ_ERROR_UNSUPPORTED_OPERATION;
  if (const HRESULT state = QueueManagerState(); state != MQ_OK) return state;
  return (*store)->Find(queue, id);
}

}  // namespace mqrt

using mqrt::RuntimeCall;

extern "C" HRESULT WINAPI MQCreateQueue(PSECURITY_DESCRIPTOR, MQQUEUEPROPS* pQueueProps,
                                        LPWSTR lpwcsFormatName, LPDWORD lpdwFormatNameLength) {
  return RuntimeCall("MQCreateQueue", [&]() -> HRESULT {
    if (pQueueProps == nullptr || !mqrt::IsWellFormed(*pQueueProps)) {
      return MQ_ERROR_ILLEGAL_MQQUEUEPROPS;
    }
    if (lpdwFormatNameLength == nullptr ||
        (lpwcsFormatName == nullptr && *lpdwFormatNameLength != 0)) {
      return MQ_ERROR_INVALID_PARAMETER;
    }
    mqrt::NewQueue wanted;
    const HRESULT read = mqrt::ReadQueueProperties(*pQueueProps, &wanted);
    if (read < 0) return read;
    mqrt::QueueReference queue;
    if (const HRESULT located = mqrt::LocatePathName(wanted.path_name, &queue); located != MQ_OK) {
      return located;
    }
    if (const HRESULT state = mqrt::QueueManagerState(); state != MQ_OK) return state;
    winport::WideString format_name;
    const HRESULT created = mqrt::StoreFor(queue)->Create(queue.name, wanted.label, &format_name);
    if (created != MQ_OK) return created;
    // The queue exists now, whether or not its name fits.
    if (!mqrt::CopyFormatName(format_name, lpwcsFormatName, lpdwFormatNameLength)) {
      return MQ_INFORMATION_FORMATNAME_BUFFER_TOO_SMALL;
    }
    return read;
  });
}

extern "C" HRESULT WINAPI MQPathNameToFormatName(LPCWSTR lpwcsPathName, LPWSTR lpwcsFormatName,
                                                 LPDWORD lpdwFormatNameLength) {
  return RuntimeCall("MQPathNameToFormatName", [&]() -> HRESULT {
    if (lpdwFormatNameLength == nullptr ||
        (lpwcsFormatName == nullptr && *lpdwFormatNameLength != 0)) {
      return MQ_ERROR_INVALID_PARAMETER;
    }
    mqrt::QueueReference queue;
    if (const HRESULT located = mqrt::LocatePathName(lpwcsPathName, &queue); located != MQ_OK) {
      return located;
    }
    if (const HRESULT state = mqrt::QueueManagerState(); state != MQ_OK) return state;
    // A queue on another computer is named directly, without asking anyone.
    winport::WideString format_name = mqrt::DirectFormatName(queue);
    if (queue.on_this_computer) {
      mqrt::QueueStore* store = mqrt::StoreFor(queue);
      mqrt::QueueId id = 0;
      HRESULT found = store->Find(queue, &id);
      if (found == MQ_OK) found = store->Describe(id, nullptr, &format_name);
      if (found != MQ_OK) return found;
    }
    return mqrt::CopyFormatName(format_name, lpwcsFormatName, lpdwFormatNameLength)
               ? MQ_OK
               : MQ_ERROR_FORMATNAME_BUFFER_TOO_SMALL;
  });
}

extern "C" HRESULT WINAPI MQOpenQueue(LPCWSTR lpwcsFormatName, DWORD dwAccess, DWORD dwShareMode,
                                      QUEUEHANDLE* phQueue) {
  return RuntimeCall("MQOpenQueue", [&]() -> HRESULT {
    if (phQueue == nullptr) return MQ_ERROR_INVALID_PARAMETER;
    *phQueue = nullptr;
    if (!mqrt::IsKnownAccess(dwAccess)) return MQ_ERROR_UNSUPPORTED_ACCESS_MODE;
    if (dwShareMode != MQ_DENY_NONE && dwShareMode != MQ_DENY_RECEIVE_SHARE) {
      return MQ_ERROR_INVALID_PARAMETER;
    }
    const bool sends = dwAccess == MQ_SEND_ACCESS;
    if (sends && dwShareMode != MQ_DENY_NONE) return MQ_ERROR_UNSUPPORTED_ACCESS_MODE;
    auto queue = std::make_shared<mqrt::OpenQueue>();
    queue->access = dwAccess;
    HRESULT opened = mqrt::LocateQueue(lpwcsFormatName, &queue->store, &queue->id);
    if (opened == MQ_OK && !sends) {
      opened = queue->store->HoldForReceiving(queue->id, dwShareMode == MQ_DENY_RECEIVE_SHARE,
                                              &queue->receive_hold);
    }
    if (opened != MQ_OK) return opened;
    if (sends) queue->store->OpenedForSending();
    *phQueue = mqrt::AddQueueHandle(std::move(queue));
    return MQ_OK;
  });
}

extern "C" HRESULT WINAPI MQCloseQueue(QUEUEHANDLE hQueue) {
  return RuntimeCall("MQCloseQueue", [&]() -> HRESULT {
    return mqrt::RemoveQueueHandle(hQueue) != nullptr ? MQ_OK : MQ_ERROR_INVALID_HANDLE;
  });
}

extern "C" HRESULT WINAPI MQDeleteQueue(LPCWSTR lpwcsFormatName) {
  return RuntimeCall("MQDeleteQueue", [&]() -> HRESULT {
    mqrt::QueueStore* store = nullptr;
    mqrt::QueueId id = 0;
    const HRESULT located = mqrt::LocateQueue(lpwcsFormatName, &store, &id);
    return located == MQ_OK ? store->Delete(id) : located;
  });
}

// "MACHINE" answers the private queues' path names (PROPID_MGMT_MSMQ_PRIVATEQ).
// "QUEUE=<format name>" answers the message count of a queue that exists, whether or not a
// process has it open: Windows answers MQ_ERROR_QUEUE_NOT_ACTIVE for an empty queue nobody has
// open, which a caller takes as a count of 0.
extern "C" HRESULT WINAPI MQMgmtGetInfo(LPCWSTR pComputerName, LPCWSTR pObjectName,
                                        MQMGMTPROPS* pMgmtProps) {
  return RuntimeCall("MQMgmtGetInfo", [&]() -> HRESULT {
    if (pObjectName == nullptr || pMgmtProps == nullptr || !mqrt::IsWellFormed(*pMgmtProps)) {
      return MQ_ERROR_INVALID_PARAMETER;
    }
    if (pComputerName != nullptr && !mqrt::IsThisComputer(pComputerName)) {
      return MQ_ERROR_UNSUPPORTED_OPERATION;
    }
    constexpr winport::WideView kQueue = u"QUEUE=";
    const winport::WideView object(pObjectName);
    if (mqrt::Folded(object) == u"MACHINE") return mqrt::AnswerMachineProperties(*pMgmtProps);
    if (mqrt::Folded(object.substr(0, kQueue.size())) != kQueue) return MQ_ERROR_INVALID_PARAMETER;
    const winport::WideString format_name(object.substr(kQueue.size()));
    mqrt::QueueStore* store = nullptr;
    mqrt::QueueId id = 0;
    const HRESULT located = mqrt::LocateQueue(format_name.c_str(), &store, &id);
    return located == MQ_OK ? mqrt::AnswerManagementProperties(*store, id, *pMgmtProps) : located;
  });
}

extern "C" VOID WINAPI MQFreeMemory(PVOID pvMemory) {
  std::free(pvMemory);
}
