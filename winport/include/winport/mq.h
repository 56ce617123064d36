// Message queuing: the client interface of the queue manager's runtime (mqrt.dll), with
// the names, layouts and values of the public interface. Programs bind the functions at
// run time (LoadLibraryW + GetProcAddress), so these prototypes serve to name the
// functions' types (decltype(&MQSendMessage)); nothing links them directly.
//
// The Linux runtime (winport/mqrt) serves private queues of this computer; where it
// differs from Windows' runtime:
// - MQMgmtGetInfo answers the count of an empty queue that no process has open, where
//   Windows answers MQ_ERROR_QUEUE_NOT_ACTIVE (which callers take as a count of 0).
// - Receives are synchronous: an overlapped receive or a callback is
//   MQ_ERROR_UNSUPPORTED_OPERATION, and there are no cursors (MQ_ACTION_PEEK_NEXT is
//   MQ_ERROR_ILLEGAL_CURSOR_ACTION); queues are not transactional
//   (MQ_ERROR_TRANSACTION_USAGE).
// - Public queues are not served (MQ_ERROR_NO_DS).
// - Private queues on other computers ("CENTRAL\PRIVATE$\Reports", DIRECT=OS: and
//   DIRECT=TCP: format names) are carried by an AMQP 0-9-1 broker (RabbitMQ) that the
//   operator names (quillmere queue broker set); see winport/mqrt/remote_queue_store.h
//   for how they map to the broker's queues. MQPathNameToFormatName of one answers its
//   DIRECT=OS: format name, as on Windows, without asking anyone. MQCreateQueue of one
//   answers MQ_ERROR_QUEUE_EXISTS: the queue belongs to the broker, which always has it
//   to send to, so a program that creates its queue and, finding it there, looks up its
//   format name and opens it, works unchanged. MQSendMessage stores the message here and
//   returns; a thread of the sending process forwards it (winport/mqrt/forwarder.h). A
//   full outgoing store (MachineQuota) is MQ_ERROR_INSUFFICIENT_RESOURCES. Receiving
//   takes from the broker (MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE when it cannot be
//   reached); MQMgmtGetInfo's count is the broker's plus what waits here, and
//   PROPID_MGMT_QUEUE_STATE is CONNECTED, WAITING, ERROR or INACTIVE (no process
//   forwards). MQDeleteQueue of one is MQ_ERROR_UNSUPPORTED_OPERATION.
// - A message body holds at most 4 MB, as on Windows (MQ_ERROR_INSUFFICIENT_RESOURCES).
#pragma once

#include <winport/base_types.h>
#include <winport/fileapi.h>
#include <winport/propidl.h>
#include <winport/security.h>

struct ITransaction;

using MQPROPVARIANT = PROPVARIANT;
using QUEUEHANDLE = HANDLE;
using MSGPROPID = PROPID;
using QUEUEPROPID = PROPID;
using MGMTPROPID = PROPID;

struct MQMSGPROPS {
  DWORD cProp;
  MSGPROPID* aPropID;
  MQPROPVARIANT* aPropVar;
  HRESULT* aStatus;
};

struct MQQUEUEPROPS {
  DWORD cProp;
  QUEUEPROPID* aPropID;
  MQPROPVARIANT* aPropVar;
  HRESULT* aStatus;
};

struct MQMGMTPROPS {
  DWORD cProp;
  MGMTPROPID* aPropID;
  MQPROPVARIANT* aPropVar;
  HRESULT* aStatus;
};

// Access and share modes of MQOpenQueue.
#define MQ_RECEIVE_ACCESS 0x00000001
#define MQ_SEND_ACCESS 0x00000002
#define MQ_PEEK_ACCESS 0x00000020
#define MQ_ADMIN_ACCESS 0x00000080
#define MQ_DENY_NONE 0x00000000
#define MQ_DENY_RECEIVE_SHARE 0x00000001

// Actions of MQReceiveMessage.
#define MQ_ACTION_RECEIVE 0x00000000
#define MQ_ACTION_PEEK_CURRENT 0x80000000
#define MQ_ACTION_PEEK_NEXT 0x80000001

#define MQ_NO_TRANSACTION nullptr
#define MQ_MTS_TRANSACTION (reinterpret_cast<ITransaction*>(1))
#define MQ_XA_TRANSACTION (reinterpret_cast<ITransaction*>(2))
#define MQ_SINGLE_MESSAGE (reinterpret_cast<ITransaction*>(3))

#define MQ_MIN_PRIORITY 0
#define MQ_MAX_PRIORITY 7
#define MQ_MAX_Q_NAME_LEN 124
#define MQ_MAX_Q_LABEL_LEN 124
#define MQ_MAX_MSG_LABEL_LEN 250

// Message properties.
#define PROPID_M_BASE 0
#define PROPID_M_CLASS (PROPID_M_BASE + 1)
#define PROPID_M_MSGID (PROPID_M_BASE + 2)
#define PROPID_M_CORRELATIONID (PROPID_M_BASE + 3)
#define PROPID_M_PRIORITY (PROPID_M_BASE + 4)
#define PROPID_M_DELIVERY (PROPID_M_BASE + 5)
#define PROPID_M_ACKNOWLEDGE (PROPID_M_BASE + 6)
#define PROPID_M_JOURNAL (PROPID_M_BASE + 7)
#define PROPID_M_APPSPECIFIC (PROPID_M_BASE + 8)
#define PROPID_M_BODY (PROPID_M_BASE + 9)
#define PROPID_M_BODY_SIZE (PROPID_M_BASE + 10)
#define PROPID_M_LABEL (PROPID_M_BASE + 11)
#define PROPID_M_LABEL_LEN (PROPID_M_BASE + 12)
#define PROPID_M_TIME_TO_REACH_QUEUE (PROPID_M_BASE + 13)
#define PROPID_M_TIME_TO_BE_RECEIVED (PROPID_M_BASE + 14)
#define PROPID_M_BODY_TYPE (PROPID_M_BASE + 42)
#define PROPID_M_SOAP_BODY (PROPID_M_BASE + 66)

#define MQMSG_DELIVERY_EXPRESS 0
#define MQMSG_DELIVERY_RECOVERABLE 1

// Queue properties.
#define PROPID_Q_BASE 100
#define PROPID_Q_INSTANCE (PROPID_Q_BASE + 1)
#define PROPID_Q_TYPE (PROPID_Q_BASE + 2)
#define PROPID_Q_PATHNAME (PROPID_Q_BASE + 3)
#define PROPID_Q_JOURNAL (PROPID_Q_BASE + 4)
#define PROPID_Q_QUOTA (PROPID_Q_BASE + 5)
#define PROPID_Q_BASEPRIORITY (PROPID_Q_BASE + 6)
#define PROPID_Q_JOURNAL_QUOTA (PROPID_Q_BASE + 7)
#define PROPID_Q_LABEL (PROPID_Q_BASE + 8)
#define PROPID_Q_CREATE_TIME (PROPID_Q_BASE + 9)
#define PROPID_Q_MODIFY_TIME (PROPID_Q_BASE + 10)
#define PROPID_Q_AUTHENTICATE (PROPID_Q_BASE + 11)
#define PROPID_Q_PRIV_LEVEL (PROPID_Q_BASE + 12)
#define PROPID_Q_TRANSACTION (PROPID_Q_BASE + 13)
#define PROPID_Q_PATHNAME_DNS (PROPID_Q_BASE + 24)
#define PROPID_Q_MULTICAST_ADDRESS (PROPID_Q_BASE + 25)
#define PROPID_Q_ADS_PATH (PROPID_Q_BASE + 26)

// Management properties of the queue manager (MQMgmtGetInfo with "MACHINE").
#define PROPID_MGMT_MSMQ_BASE 0
#define PROPID_MGMT_MSMQ_ACTIVEQUEUES (PROPID_MGMT_MSMQ_BASE + 1)
#define PROPID_MGMT_MSMQ_PRIVATEQ (PROPID_MGMT_MSMQ_BASE + 2)

// Management properties of a queue (MQMgmtGetInfo with "QUEUE=" and a format name).
#define PROPID_MGMT_QUEUE_BASE 0
#define PROPID_MGMT_QUEUE_PATHNAME (PROPID_MGMT_QUEUE_BASE + 1)
#define PROPID_MGMT_QUEUE_FORMATNAME (PROPID_MGMT_QUEUE_BASE + 2)
#define PROPID_MGMT_QUEUE_MESSAGE_COUNT (PROPID_MGMT_QUEUE_BASE + 7)
#define PROPID_MGMT_QUEUE_STATE (PROPID_MGMT_QUEUE_BASE + 11)
// This runtime's own, for queues on other computers (no Windows runtime answers them):
// why the link is not CONNECTED, how many messages wait here to be forwarded, and how
// many redelivered messages receivers on this computer dropped.
#define PROPID_MGMT_QUEUE_STATE_REASON 0x1001
#define PROPID_MGMT_QUEUE_OUTGOING_MESSAGE_COUNT 0x1002
#define PROPID_MGMT_QUEUE_DUPLICATES_DROPPED 0x1003

// Result codes.
#define MQ_OK (static_cast<HRESULT>(0))
#define MQ_INFORMATION_PROPERTY (static_cast<HRESULT>(0x400E0001))
#define MQ_INFORMATION_ILLEGAL_PROPERTY (static_cast<HRESULT>(0x400E0002))
#define MQ_INFORMATION_PROPERTY_IGNORED (static_cast<HRESULT>(0x400E0003))
#define MQ_INFORMATION_UNSUPPORTED_PROPERTY (static_cast<HRESULT>(0x400E0004))
#define MQ_INFORMATION_DUPLICATE_PROPERTY (static_cast<HRESULT>(0x400E0005))
#define MQ_INFORMATION_FORMATNAME_BUFFER_TOO_SMALL (static_cast<HRESULT>(0x400E0009))
#define MQ_ERROR (static_cast<HRESULT>(0xC00E0001))
#define MQ_ERROR_PROPERTY (static_cast<HRESULT>(0xC00E0002))
#define MQ_ERROR_QUEUE_NOT_FOUND (static_cast<HRESULT>(0xC00E0003))
#define MQ_ERROR_QUEUE_NOT_ACTIVE (static_cast<HRESULT>(0xC00E0004))
#define MQ_ERROR_QUEUE_EXISTS (static_cast<HRESULT>(0xC00E0005))
#define MQ_ERROR_INVALID_PARAMETER (static_cast<HRESULT>(0xC00E0006))
#define MQ_ERROR_INVALID_HANDLE (static_cast<HRESULT>(0xC00E0007))
#define MQ_ERROR_OPERATION_CANCELLED (static_cast<HRESULT>(0xC00E0008))
#define MQ_ERROR_SHARING_VIOLATION (static_cast<HRESULT>(0xC00E0009))
#define MQ_ERROR_SERVICE_NOT_AVAILABLE (static_cast<HRESULT>(0xC00E000B))
#define MQ_ERROR_NO_DS (static_cast<HRESULT>(0xC00E0013))
#define MQ_ERROR_ILLEGAL_QUEUE_PATHNAME (static_cast<HRESULT>(0xC00E0014))
#define MQ_ERROR_ILLEGAL_PROPERTY_VALUE (static_cast<HRESULT>(0xC00E0018))
#define MQ_ERROR_ILLEGAL_PROPERTY_VT (static_cast<HRESULT>(0xC00E0019))
#define MQ_ERROR_BUFFER_OVERFLOW (static_cast<HRESULT>(0xC00E001A))
#define MQ_ERROR_IO_TIMEOUT (static_cast<HRESULT>(0xC00E001B))
#define MQ_ERROR_ILLEGAL_CURSOR_ACTION (static_cast<HRESULT>(0xC00E001C))
#define MQ_ERROR_ILLEGAL_FORMATNAME (static_cast<HRESULT>(0xC00E001E))
#define MQ_ERROR_FORMATNAME_BUFFER_TOO_SMALL (static_cast<HRESULT>(0xC00E001F))
#define MQ_ERROR_ACCESS_DENIED (static_cast<HRESULT>(0xC00E0025))
#define MQ_ERROR_INSUFFICIENT_RESOURCES (static_cast<HRESULT>(0xC00E0027))
#define MQ_ERROR_MESSAGE_STORAGE_FAILED (static_cast<HRESULT>(0xC00E002A))
#define MQ_ERROR_ILLEGAL_PROPID (static_cast<HRESULT>(0xC00E0039))
#define MQ_ERROR_ILLEGAL_MQQUEUEPROPS (static_cast<HRESULT>(0xC00E003D))
#define MQ_ERROR_INSUFFICIENT_PROPERTIES (static_cast<HRESULT>(0xC00E003F))
#define MQ_ERROR_UNSUPPORTED_ACCESS_MODE (static_cast<HRESULT>(0xC00E0045))
#define MQ_ERROR_TRANSACTION_USAGE (static_cast<HRESULT>(0xC00E0050))
#define MQ_ERROR_QUEUE_DELETED (static_cast<HRESULT>(0xC00E005A))
#define MQ_ERROR_LABEL_TOO_LONG (static_cast<HRESULT>(0xC00E005D))
#define MQ_ERROR_LABEL_BUFFER_TOO_SMALL (static_cast<HRESULT>(0xC00E005E))
#define MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE (static_cast<HRESULT>(0xC00E0069))
#define MQ_ERROR_UNSUPPORTED_OPERATION (static_cast<HRESULT>(0xC00E006A))

using PMQRECEIVECALLBACK = void(WINAPI*)(HRESULT hrStatus, QUEUEHANDLE hSource, DWORD dwTimeout,
                                         DWORD dwAction, MQMSGPROPS* pMessageProps,
                                         LPOVERLAPPED lpOverlapped, HANDLE hCursor);

extern "C" {
HRESULT WINAPI MQCreateQueue(PSECURITY_DESCRIPTOR pSecurityDescriptor, MQQUEUEPROPS* pQueueProps,
                             LPWSTR lpwcsFormatName, LPDWORD lpdwFormatNameLength);
HRESULT WINAPI MQDeleteQueue(LPCWSTR lpwcsFormatName);
HRESULT WINAPI MQPathNameToFormatName(LPCWSTR lpwcsPathName, LPWSTR lpwcsFormatName,
                                      LPDWORD lpdwFormatNameLength);
HRESULT WINAPI MQOpenQueue(LPCWSTR lpwcsFormatName, DWORD dwAccess, DWORD dwShareMode,
                           QUEUEHANDLE* phQueue);
HRESULT WINAPI MQCloseQueue(QUEUEHANDLE hQueue);
HRESULT WINAPI MQSendMessage(QUEUEHANDLE hDestinationQueue, MQMSGPROPS* pMessageProps,
                             ITransaction* pTransaction);
HRESULT WINAPI MQReceiveMessage(QUEUEHANDLE hSource, DWORD dwTimeout, DWORD dwAction,
                                MQMSGPROPS* pMessageProps, LPOVERLAPPED lpOverlapped,
                                PMQRECEIVECALLBACK fnReceiveCallback, HANDLE hCursor,
                                ITransaction* pTransaction);
HRESULT WINAPI MQMgmtGetInfo(LPCWSTR pComputerName, LPCWSTR pObjectName, MQMGMTPROPS* pMgmtProps);
VOID WINAPI MQFreeMemory(PVOID pvMemory);
}
