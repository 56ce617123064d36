// The Application log is <EventLogDirectory>/Application.log, UTF-8 text, one record a
// line, its fields always in this order and separated by single spaces:
//
//   record=7 time=2024-05-01T12:34:56.789Z computer="WEB01" source="Quillmere Admin"
//   type=warning category=2 event=1001 user=S-1-22-1-1000 string="disk \"D:\"" string="a\nb"
//   data=00FF10
//
// (one line in the file). record counts 1, 2, ... across every process of the machine;
// time is when the record was written, UTC. type is error, warning, information,
// success, audit-success or audit-failure, or the number of any other value. user is the
// SID's text, empty when the event has none. There is one string= per insertion string,
// in order. data is the raw data in hex, empty when none. Quoted text escapes \\ \" \n \r
// \t, and as \uXXXX the other control characters and UTF-16 surrogates that are not
// pairs, so any text round-trips and no record spans lines.
//
// A writer holds the lock file Application.lock, reads the last record's number from the
// end of the log and appends its line with one write. A line without its "\n" is being
// written, or its writer died: readers ignore it, and the next writer removes it. Lines
// that are not records (say, "# notes") are skipped.
//
// The log is bounded as Windows bounds it: by the MaxSize value (bytes) of
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application, a multiple of 64 KB,
// 512 KB when absent; when full, the oldest records go to make room. Application.log is
// the newest of up to kSegments segments of a MaxSize/kSegments each; when a record does
// not fit in it, the writer renames it, in one step, to Application.<its last record's
// number, 20 digits>.log and starts a new one, then removes the oldest of those until
// they and a full newest segment fit in MaxSize. So the log keeps at least three quarters
// of MaxSize once it has filled, every record whole, and record numbers go on counting
// from the last one written. A record larger than a segment makes one of its own.
// Readers open Application.log before they list the older segments, so a segment renamed
// meanwhile is read twice at worst, and its records are taken once, in order.
#include "event_log_file.h"
#include "common/quoted_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include <winport/machine.h>
#include <winport/owner_only.h>
#include <winport/registry.h>
#include <winport/scoped_hkey.h>

#include "common/file_lock.h"

namespace winport::eventlog {
namespace detail {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHex = "0123456789ABCDEF";

struct TypeName {
  WORD type;
  std::string_view name;
};
constexpr TypeName kTypeNames[] = {
    {EVENTLOG_SUCCESS, "success"},
    {EVENTLOG_ERROR_TYPE, "error"},
    {EVENTLOG_WARNING_TYPE, "warning"},
    {EVENTLOG_INFORMATION_TYPE, "information"},
    {EVENTLOG_AUDIT_SUCCESS, "audit-success"},
    {EVENTLOG_AUDIT_FAILURE, "audit-failure"},
};

constexpr std::string_view kNewest = "Application.log";
constexpr std::string_view kOlderStart = "Application.";
constexpr std::string_view kOlderEnd = ".log";
constexpr std::uint64_t kSegments = 8;

// Windows takes MaxSize in 64 KB units; without the value the log is 512 KB.
constexpr DWORD kSizeUnit = 64 * 1024;
constexpr DWORD kDefaultMaxSize = 512 * 1024;

fs::path LogPath() {
  return machine::EventLogDirectory() / kNewest;
}

DWORD MaxSize() {
  winport::ScopedHkey key;
  DWORD value = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof value;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                    OLESTR("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application"), 0,
                    KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS ||
      RegQueryValueExW(key.Get(), OLESTR("MaxSize"), nullptr, &type,
                       reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return kDefaultMaxSize;
  }
  return std::max(kSizeUnit, value / kSizeUnit * kSizeUnit);
}

struct OlderSegment {
  std::uint64_t last_number;
  fs::path path;
  std::uintmax_t size;
};

// The older segments, oldest first.
std::vector<OlderSegment> OlderSegments(const fs::path& directory) {
  std::vector<OlderSegment> segments;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= kOlderStart.size() + kOlderEnd.size() || !name.starts_with(kOlderStart) ||
        !name.ends_with(kOlderEnd))
      continue;
    const std::string_view digits(name.data() + kOlderStart.size(),
                                  name.size() - kOlderStart.size() - kOlderEnd.size());
    std::uint64_t number = 0;
    const auto [stop, failed] =
        std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (failed != std::errc() || stop != digits.data() + digits.size()) continue;
    std::error_code unsized;
    const std::uintmax_t size = it->file_size(unsized);
    segments.push_back({number, it->path(), unsized ? 0 : size});
  }
  std::sort(segments.begin(), segments.end(), [](const OlderSegment& a, const OlderSegment& b) {
    return a.last_number < b.last_number;
  });
  return segments;
}

fs::path OlderSegmentPath(const fs::path& directory, std::uint64_t last_number) {
  char digits[21];
  std::snprintf(digits, sizeof digits, "%020llu", static_cast<unsigned long long>(last_number));
  return directory / (std::string(kOlderStart) + digits + std::string(kOlderEnd));
}

// Removes the oldest segments until the rest take no more than `budget` bytes.
void KeepWithin(const fs::path& directory, std::uintmax_t budget) {
  const std::vector<OlderSegment> segments = OlderSegments(directory);
  std::uintmax_t total = 0;
  for (const OlderSegment& segment : segments)
    total += segment.size;
  for (const OlderSegment& segment : segments) {
    if (total <= budget) break;
    std::error_code ignored;  // one left behind is removed by the next writer that rotates
    fs::remove(segment.path, ignored);
    total -= segment.size;
  }
}

// Reads a record line field by field, in the order FormatRecord writes them.
class LineReader {
 public:
  explicit LineReader(std::string_view line) : rest_(line) {}

  bool AtEnd() const { return rest_.empty(); }

  // "key=" at the cursor, after the separating space when not the first field.
  bool Key(std::string_view key) {
    if (!first_) {
      if (rest_.empty() || rest_[0] != ' ') return false;
      rest_.remove_prefix(1);
    }
    first_ = false;
    if (rest_.substr(0, key.size()) != key || rest_.substr(key.size(), 1) != "=") return false;
    rest_.remove_prefix(key.size() + 1);
    return true;
  }
  bool PeekKey(std::string_view key) const {
    return rest_.size() > key.size() + 1 && rest_[0] == ' ' && rest_.substr(1, key.size()) == key &&
           rest_[key.size() + 1] == '=';
  }

  // The unquoted value up to the next space.
  std::string_view Bare() {
    const std::size_t end = std::min(rest_.find(' '), rest_.size());
    const std::string_view value = rest_.substr(0, end);
    rest_.remove_prefix(end);
    return value;
  }

  template <typename Number>
  bool Decimal(Number* value) {
    const std::string_view text = Bare();
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
  }

  bool Quoted(WideString* value) { return winport::detail::ReadQuoted(rest_, value); }

 private:
  std::string_view rest_;
  bool first_ = true;
};

bool ValidTime(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00T00:00:00.000Z";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

std::string NowUtc() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc{};
  ::gmtime_r(&now.tv_sec, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(now.tv_nsec / 1000000));
  return text;
}

bool ReadAt(int fd, std::string& buffer, off_t offset, std::size_t size) {
  buffer.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, buffer.data() + done, size - done, offset + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

struct Tail {
  off_t complete_size = 0;  // the log up to the end of its last whole line
  std::uint64_t last_number = 0;
};

// Scans back from the end of the log, in growing windows, for its last whole record;
// only a log with no record at all is read from its start.
bool ReadTail(int fd, off_t size, Tail* tail) {
  std::string window;
  bool found_end = false;
  for (off_t length = 64 * 1024;; length *= 4) {
    const off_t start = size > length ? size - length : 0;
    if (!ReadAt(fd, window, start, static_cast<std::size_t>(size - start))) return false;
    if (!found_end) {
      const std::size_t last_newline = window.rfind('\n');
      found_end = last_newline != std::string::npos;
      if (found_end) tail->complete_size = start + off_t(last_newline) + 1;
    }
    // Lines back from the last whole one; one that reaches the window's start may be
    // cut there, unless the window starts the file.
    for (std::size_t end = found_end ? std::size_t(tail->complete_size - start) - 1 : 0;
         found_end;) {
      const std::size_t previous = end == 0 ? std::string::npos : window.rfind('\n', end - 1);
      if (previous == std::string::npos && start > 0) break;
      const std::size_t begin = previous == std::string::npos ? 0 : previous + 1;
      if (const auto record = ParseRecord(std::string_view(window).substr(begin, end - begin))) {
        tail->last_number = record->number;
        return true;
      }
      if (begin == 0) break;
      end = previous;
    }
    if (start == 0) return true;
  }
}

DWORD ErrorOf(int error) {
  return error == EACCES || error == EPERM || error == EROFS ? ERROR_ACCESS_DENIED
                                                             : ERROR_WRITE_FAULT;
}

}  // namespace

std::string FormatRecord(const EventRecord& record) {
  std::string line = "record=" + std::to_string(record.number) + " time=" + record.time_written;
  line += " computer=";
  winport::detail::AppendQuoted(line, record.computer);
  line += " source=";
  winport::detail::AppendQuoted(line, record.source);
  line += " type=";
  std::string type = std::to_string(record.type);
  for (const TypeName& name : kTypeNames) {
    if (name.type == record.type) type = name.name;
  }
  line += type;
  line += " category=" + std::to_string(record.category);
  line += " event=" + std::to_string(record.event_id);
  line += " user=" + record.user_sid;
  for (const WideString& text : record.strings) {
    line += " string=";
    winport::detail::AppendQuoted(line, text);
  }
  line += " data=";
  for (const std::uint8_t byte : record.data) {
    line += kHex[byte >> 4];
    line += kHex[byte & 0xF];
  }
  return line;
}

std::optional<EventRecord> ParseRecord(std::string_view line) {
  EventRecord record;
  LineReader reader(line);
  if (!reader.Key("record") || !reader.Decimal(&record.number) || record.number == 0) return {};
  if (!reader.Key("time")) return {};
  record.time_written = reader.Bare();
  if (!ValidTime(record.time_written)) return {};
  if (!reader.Key("computer") || !reader.Quoted(&record.computer)) return {};
  if (!reader.Key("source") || !reader.Quoted(&record.source)) return {};
  if (!reader.Key("type")) return {};
  const std::string_view type = reader.Bare();
  bool named = false;
  for (const TypeName& name : kTypeNames) {
    if (name.name == type) {
      record.type = name.type;
      named = true;
    }
  }
  if (!named) {
    const auto [end, error] = std::from_chars(type.data(), type.data() + type.size(), record.type);
    if (type.empty() || error != std::errc() || end != type.data() + type.size()) return {};
  }
  if (!reader.Key("category") || !reader.Decimal(&record.category)) return {};
  if (!reader.Key("event") || !reader.Decimal(&record.event_id)) return {};
  if (!reader.Key("user")) return {};
  record.user_sid = reader.Bare();
  while (reader.PeekKey("string")) {
    WideString text;
    if (!reader.Key("string") || !reader.Quoted(&text)) return {};
    record.strings.push_back(std::move(text));
  }
  if (!reader.Key("data")) return {};
  const std::string_view hex = reader.Bare();
  if (hex.size() % 2 != 0 || !reader.AtEnd()) return {};
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const std::size_t high = kHex.find(hex[i]);
    const std::size_t low = kHex.find(hex[i + 1]);
    if (high == std::string_view::npos || low == std::string_view::npos) return {};
    record.data.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return record;
}

DWORD AppendRecord(EventRecord& record) {
  const std::uintmax_t max_size = MaxSize();
  const std::uintmax_t segment_size = max_size / kSegments;
  const fs::path directory = machine::EventLogDirectory();
  const winport::detail::FileLock lock(directory / "Application.lock");
  if (!lock.held()) return ErrorOf(errno);
  int fd = machine::OpenPrivateFile(LogPath(), O_RDWR | O_APPEND | O_CREAT);
  if (fd < 0) return ErrorOf(errno);
  struct stat status {};
  Tail tail;
  if (::fstat(fd, &status) != 0 || !ReadTail(fd, status.st_size, &tail)) {
    const int error = errno;
    ::close(fd);
    return ErrorOf(error);
  }
  // What a writer that died left of its line would otherwise run into ours.
  if (tail.complete_size < status.st_size && ::ftruncate(fd, tail.complete_size) != 0) {
    const int error = errno;
    ::close(fd);
    return ErrorOf(error);
  }

  // A newest segment without records follows the last of the older ones.
  std::uint64_t last_number = tail.last_number;
  if (last_number == 0) {
    const std::vector<OlderSegment> older = OlderSegments(directory);
    if (!older.empty()) last_number = older.back().last_number;
  }
  record.number = last_number + 1;
  record.time_written = NowUtc();
  const std::string line = FormatRecord(record) + '\n';

  if (tail.last_number != 0 && std::uintmax_t(tail.complete_size) + line.size() > segment_size) {
    ::close(fd);
    if (::rename(LogPath().c_str(), OlderSegmentPath(directory, tail.last_number).c_str()) != 0)
      return ErrorOf(errno);
    fd = machine::OpenPrivateFile(LogPath(), O_RDWR | O_APPEND | O_CREAT);
    if (fd < 0) return ErrorOf(errno);
    KeepWithin(directory,
               max_size - std::min<std::uintmax_t>(
                              max_size, std::max<std::uintmax_t>(segment_size, line.size())));
    tail.complete_size = 0;
  }
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      // Takes back the part written; failing that, the next writer removes it.
      [[maybe_unused]] const int restored = ::ftruncate(fd, tail.complete_size);
      ::close(fd);
      return ErrorOf(error);
    }
    written += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return ERROR_SUCCESS;
}

}  // namespace detail

namespace {

bool SameSource(WideView a, WideView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char16_t c) { return c >= 'A' && c <= 'Z' ? char16_t(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<EventRecord> ReadEvents(std::uint64_t after_number, std::optional<WideString> source) {
  // The newest segment is opened first: see the file's layout above.
  std::ifstream newest(detail::LogPath(), std::ios::binary);
  std::vector<EventRecord> records;
  std::uint64_t last_taken = after_number;
  const auto take = [&](std::istream& file) {
    const std::string contents((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    std::size_t begin = 0;
    for (std::size_t end; (end = contents.find('\n', begin)) != std::string::npos;
         begin = end + 1) {
      auto record = detail::ParseRecord(std::string_view(contents).substr(begin, end - begin));
      if (!record || record->number <= last_taken) continue;
      last_taken = record->number;
      if (source && !SameSource(record->source, *source)) continue;
      records.push_back(std::move(*record));
    }
  };
  for (const auto& segment : detail::OlderSegments(machine::EventLogDirectory())) {
    if (segment.last_number <= last_taken) continue;
    std::ifstream older(segment.path, std::ios::binary);  // removed meanwhile: it was the oldest
    take(older);
  }
  take(newest);
  return records;
}

}  // namespace winport::eventlog
