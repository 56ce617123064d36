#include "host/commands/log_command.h"

#include <time.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <ostream>
#include <thread>

#include <winport/machine.h>

#include "host/commands/command_support.h"

namespace quillmere::host {
namespace {

struct LogOptions {
  std::filesystem::path prefix;
  std::string date;
  bool follow = false;
};

// The log-file writer lives in another process and tells nobody when it writes.
constexpr auto kFollowPause = std::chrono::milliseconds(250);

std::filesystem::path LogFolder() {
  return winport::machine::SystemDirectory() / "LogFiles" / "Quillmere";
}

std::string Today(const char* format, bool utc) {
  const time_t now = ::time(nullptr);
  struct tm parts {};
  if (utc)
    gmtime_r(&now, &parts);
  else
    localtime_r(&now, &parts);
  char text[16];
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

std::filesystem::path ReportLog() {
  return LogFolder() / ("reports-" + Today("%Y%m%d", true) + ".log");
}

// Copies the file's whole lines from offset on, and the unfinished last one when asked
// (a follower prints it once it is whole); answers where the next read starts.
std::streamoff Copy(const std::filesystem::path& file, std::streamoff offset, bool unfinished,
                    std::ostream& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return offset;
  in.seekg(offset);
  std::string line;
  while (std::getline(in, line)) {
    if (in.eof() && !unfinished) break;
    if (!in.eof()) offset = in.tellg();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out << line << "\n";
  }
  out << std::flush;
  return offset;
}

void PrintActivity(const LogOptions& options, std::ostream& out) {
  const std::string date = options.date.empty() ? Today("%y%m%d", false) : options.date;
  const std::filesystem::path file = LogFolder() / ("sw" + date + ".log");
  if (!std::filesystem::exists(file))
    throw CommandFailure("no user activity logged on " + date + " (" + file.string() + ")");
  Copy(file, 0, true, out);
}

void PrintReports(const LogOptions& options, std::ostream& out) {
  std::filesystem::path file = ReportLog();
  if (!options.follow && !std::filesystem::exists(file))
    throw CommandFailure("no reports logged today (" + file.string() + ")");
  std::streamoff offset = Copy(file, 0, !options.follow, out);
  while (options.follow) {
    std::this_thread::sleep_for(kFollowPause);
    offset = Copy(file, offset, false, out);
    // At midnight UTC the writer starts the next day's file.
    if (const std::filesystem::path today = ReportLog(); today != file) {
      file = today;
      offset = 0;
    }
  }
}

bool IsDate(const std::string& text) {
  if (text.size() != 6) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

void AddLogCommand(CLI::App& app, std::ostream& out) {
  auto options = std::make_shared<LogOptions>();
  CLI::App* log = app.add_subcommand("log", "The user-activity log and the report log");
  log->require_subcommand(1);
  AddPrefixOption(*log, options->prefix);

  CLI::App* activity = log->add_subcommand("activity", "What users did, as the module logs it");
  AddPrefixOption(*activity, options->prefix);
  activity
      ->add_option("--date", options->date, "The day to show, YYMMDD (default: today, local time)")
      ->check([](const std::string& text) { return IsDate(text) ? "" : "expected YYMMDD"; });
  activity->callback([options, &out] {
    UsePrefix(options->prefix);
    PrintActivity(*options, out);
  });

  CLI::App* reports =
      log->add_subcommand("reports", "The reports the log-file writer wrote today (UTC)");
  AddPrefixOption(*reports, options->prefix);
  reports->add_flag("--follow,-f", options->follow, "Keep printing reports as they are written");
  reports->callback([options, &out] {
    UsePrefix(options->prefix);
    PrintReports(*options, out);
  });
}

}  // namespace quillmere::host
