#include "queue_reference.h"

#include <optional>
#include <vector>

namespace mqrt {
namespace {

using winport::WideString;
using winport::WideView;

constexpr WideView kPrivate = u"PRIVATE$";

bool StartsWithFolded(WideView text, WideView prefix) {
  return text.size() >= prefix.size() && Folded(text.substr(0, prefix.size())) == prefix;
}

bool IsHexDigit(OLECHAR c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The parts of `text` between backslashes.
std::vector<WideView> Split(WideView text) {
  std::vector<WideView> parts;
  for (std::size_t start = 0;;) {
    const std::size_t slash = text.find(u'\\', start);
    parts.push_back(text.substr(start, slash == WideView::npos ? WideView::npos : slash - start));
    if (slash == WideView::npos) return parts;
    start = slash + 1;
  }
}

bool IsQueueName(WideView name) {
  return !name.empty() && name.size() <= MQ_MAX_Q_NAME_LEN;
}

// "<machine>\PRIVATE$\<name>" after DIRECT=OS: or DIRECT=TCP:.
std::optional<QueueReference> DirectQueue(WideView rest, bool is_this_computer, bool by_address) {
  const std::vector<WideView> parts = Split(rest);
  if (parts.size() != 3 || parts[0].empty() || Folded(parts[1]) != kPrivate ||
      !IsQueueName(parts[2])) {
    return std::nullopt;
  }
  QueueReference queue;
  queue.on_this_computer = is_this_computer;
  queue.computer = WideString(parts[0]);
  queue.by_address = by_address;
  queue.name = WideString(parts[2]);
  return queue;
}

// "<guid>\<hex number>" after PRIVATE=.
std::optional<QueueReference> PrivateQueue(WideView rest) {
  const std::vector<WideView> parts = Split(rest);
  if (parts.size() != 2 || parts[0].size() != 36 || parts[1].empty() || parts[1].size() > 8) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < parts[0].size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? parts[0][i] != u'-' : !IsHexDigit(parts[0][i])) return std::nullopt;
  }
  QueueReference queue;
  queue.machine_id = Folded(parts[0]);
  for (OLECHAR c : parts[1]) {
    if (!IsHexDigit(c)) return std::nullopt;
    const int digit = c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
    queue.number = queue.number * 16 + static_cast<DWORD>(digit);
  }
  return queue;
}

}  // namespace

WideString Folded(WideView text) {
  WideString folded(text);
  CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

bool IsThisComputer(WideView computer) {
  if (computer == u".") return true;
  WCHAR name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) && Folded(computer) == Folded(WideView(name, size));
}

HRESULT ParsePathName(WideView path_name, QueueReference* queue) {
  const std::vector<WideView> parts = Split(path_name);
  if (parts.size() < 2 || parts.size() > 3 || parts[0].empty() || !IsQueueName(parts.back())) {
    return MQ_ERROR_ILLEGAL_QUEUE_PATHNAME;
  }
  if (parts.size() == 3 && Folded(parts[1]) != kPrivate) return MQ_ERROR_ILLEGAL_QUEUE_PATHNAME;
  queue->on_this_computer = IsThisComputer(parts[0]);
  queue->computer = WideString(parts[0]);
  queue->by_address = false;
  queue->name = WideString(parts.back());
  if (parts.size() == 2) return MQ_ERROR_NO_DS;
  return MQ_OK;
}

HRESULT ParseFormatName(WideView format_name, QueueReference* queue) {
  constexpr WideView kPrivateFormat = u"PRIVATE=";
  constexpr WideView kDirectOs = u"DIRECT=OS:";
  constexpr WideView kDirectTcp = u"DIRECT=TCP:";
  std::optional<QueueReference> parsed;
  if (StartsWithFolded(format_name, kPrivateFormat)) {
    parsed = PrivateQueue(format_name.substr(kPrivateFormat.size()));
  } else if (StartsWithFolded(format_name, kDirectOs)) {
    const WideView rest = format_name.substr(kDirectOs.size());
    parsed = DirectQueue(rest, IsThisComputer(rest.substr(0, rest.find(u'\\'))), false);
  } else if (StartsWithFolded(format_name, kDirectTcp)) {
    const WideView rest = format_name.substr(kDirectTcp.size());
    parsed = DirectQueue(rest, rest.substr(0, rest.find(u'\\')) == u"127.0.0.1", true);
  }
  if (!parsed) return MQ_ERROR_ILLEGAL_FORMATNAME;
  *queue = std::move(*parsed);
  return MQ_OK;
}

WideString DirectFormatName(const QueueReference& queue) {
  return (queue.by_address ? u"DIRECT=TCP:" : u"DIRECT=OS:") + queue.computer + u"\\PRIVATE$\\" +
         queue.name;
}

WideString PrivateFormatName(WideView machine_id, DWORD number) {
  return u"PRIVATE=" + WideString(machine_id) + winport::FormatWide("\\%08x", number);
}

}  // namespace mqrt
