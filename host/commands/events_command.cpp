#include "host/commands/events_command.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include <winport/event_log_reader.h>
#include <winport/windows.h>

#include "event_since.h"
#include "host/commands/command_support.h"

namespace quillmere::host {
namespace {

struct EventsOptions {
  std::filesystem::path prefix;
  std::string source;
  std::string level = "information";
  std::string since;
  bool follow = false;
  bool json = false;
};

// New events are written by other processes, which tell nobody.
constexpr auto kFollowPause = std::chrono::milliseconds(250);

const char* TypeName(WORD type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE:
      return "Error";
    case EVENTLOG_WARNING_TYPE:
      return "Warning";
    case EVENTLOG_INFORMATION_TYPE:
      return "Information";
    case EVENTLOG_AUDIT_SUCCESS:
      return "Audit Success";
    case EVENTLOG_AUDIT_FAILURE:
      return "Audit Failure";
    default:
      return "Success";
  }
}

// 1 error, 2 warning, 3 everything else: --level keeps that level and the graver ones.
int Severity(WORD type) {
  if (type == EVENTLOG_ERROR_TYPE) return 1;
  return type == EVENTLOG_WARNING_TYPE ? 2 : 3;
}

int SeverityOf(const std::string& level) {
  return level == "error" ? 1 : level == "warning" ? 2 : 3;
}

// The insertion strings, one per line; a table keeps each event on one line.
std::string Text(const winport::eventlog::EventRecord& record, bool oneLine) {
  std::string text;
  for (const winport::WideString& part : record.strings) {
    if (!text.empty()) text += oneLine ? " " : "\n";
    text += winport::WideToUtf8(part);
  }
  if (oneLine) {
    for (char& c : text)
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return text;
}

std::vector<std::string> Row(const winport::eventlog::EventRecord& record, bool json) {
  const std::string user = record.user_sid.empty() && !json ? "-" : record.user_sid;
  return {std::to_string(record.event_id & 0xFFFF),
          TypeName(record.type),
          winport::WideToUtf8(record.source),
          record.time_written,
          user,
          Text(record, !json)};
}

class EventPrinter {
 public:
  EventPrinter(const EventsOptions& options, std::ostream& out)
      : options_(options), out_(out), severity_(SeverityOf(options.level)) {
    if (!options.since.empty()) since_ = SinceText(options.since, std::chrono::system_clock::now());
  }

  // Prints the events written after the last one seen; the first batch with the header
  // (or, following as JSON, each event as one line of its own).
  void PrintNew() {
    std::optional<winport::WideString> source;
    if (!options_.source.empty()) source = winport::Utf8ToWide(options_.source);
    Table table{{"id", "type", "source", "time", "user", "text"}, {}};
    for (const auto& record : winport::eventlog::ReadEvents(last_, source)) {
      last_ = record.number;
      if (Severity(record.type) > severity_ || record.time_written < since_) continue;
      table.rows.push_back(Row(record, options_.json));
    }
    if (options_.json && options_.follow)
      PrintLines(table);
    else if (first_ || !table.rows.empty())
      PrintBatch(table);
    first_ = false;
    out_ << std::flush;
  }

 private:
  void PrintBatch(const Table& table) {
    std::ostringstream text;
    PrintTable(table, options_.json, text);
    const std::string printed = text.str();
    out_ << (first_ ? printed : printed.substr(printed.find('\n') + 1));
  }

  void PrintLines(const Table& table) {
    for (const auto& row : table.rows) {
      out_ << "{";
      for (size_t column = 0; column < row.size(); ++column)
        out_ << (column == 0 ? "" : ", ") << JsonString(table.columns[column]) << ": "
             << JsonString(row[column]);
      out_ << "}\n";
    }
  }

  const EventsOptions& options_;
  std::ostream& out_;
  const int severity_;
  std::string since_;
  std::uint64_t last_ = 0;
  bool first_ = true;
};

}  // namespace

void AddEventsCommand(CLI::App& app, std::ostream& out) {
  auto options = std::make_shared<EventsOptions>();
  CLI::App* events = app.add_subcommand(
      "events", "The Application event log: id, type, source, time, user SID and text");
  AddPrefixOption(*events, options->prefix);
  AddJsonOption(*events, options->json);
  events->add_option("--source", options->source, "Only the events of this source");
  events->add_option("--level", options->level, "Only events of this level or graver")
      ->check(CLI::IsMember({"error", "warning", "information"}));
  events->add_option("--since", options->since,
                     "Only events from this UTC time (YYYY-MM-DD[THH:MM[:SS]]) or this long "
                     "ago (30m, 2h, 7d)");
  events->add_flag("--follow,-f", options->follow,
                   "Keep printing events as they are written (with --json, one object a line)");
  events->callback([options, &out] {
    UsePrefix(options->prefix);
    EventPrinter printer(*options, out);
    printer.PrintNew();
    while (options->follow) {
      std::this_thread::sleep_for(kFollowPause);
      printer.PrintNew();
    }
  });
}

}  // namespace quillmere::host
