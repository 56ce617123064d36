// How callers name a queue: path names (".\PRIVATE$\Name", "COMPUTER\PRIVATE$\Name") and
// format names ("PRIVATE=<machine id>\<number>", "DIRECT=OS:<computer>\PRIVATE$\<name>",
// "DIRECT=TCP:<address>\PRIVATE$\<name>"), all keywords case-insensitive.
#pragma once

#include <winport/wide.h>
#include <winport/windows_api.h>

namespace mqrt {

struct QueueReference {
  // False when the queue lives on another computer.
  bool on_this_computer = true;
  // The other computer as the caller named it (a name, or an address for DIRECT=TCP:).
  winport::WideString computer;
  bool by_address = false;
  // The private queue's name, when it is named (path names, DIRECT=).
  winport::WideString name;
  // The queue manager's id and the queue's number, for PRIVATE= (name empty then).
  winport::WideString machine_id;
  DWORD number = 0;
};

// MQ_OK; MQ_ERROR_ILLEGAL_QUEUE_PATHNAME; MQ_ERROR_NO_DS for a public queue (this
// machine has no directory service to keep one in).
HRESULT ParsePathName(winport::WideView path_name, QueueReference* queue);
// MQ_OK or MQ_ERROR_ILLEGAL_FORMATNAME.
HRESULT ParseFormatName(winport::WideView format_name, QueueReference* queue);

// "PRIVATE=<machine id>\<number as 8 hex digits>", as this computer names its queues.
winport::WideString PrivateFormatName(winport::WideView machine_id, DWORD number);

// "DIRECT=OS:<computer>\PRIVATE$\<name>" (DIRECT=TCP: when named by its address), as
// a queue on another computer is named.
winport::WideString DirectFormatName(const QueueReference& queue);

// Whether a computer name in a path or format name is this computer ("." or its name).
bool IsThisComputer(winport::WideView computer);

// Text compared as Windows compares queue names: upper-cased unit by unit.
winport::WideString Folded(winport::WideView text);

}  // namespace mqrt
