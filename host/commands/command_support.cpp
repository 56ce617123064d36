#include "host/commands/command_support.h"

#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace quillmere::host {

void AddPrefixOption(CLI::App& command, std::filesystem::path& prefix) {
  command.add_option("--prefix", prefix,
                     "The machine's folder (default: $QUILLMERE_PREFIX, then "
                     "~/.local/share/quillmere)");
}

void UsePrefix(const std::filesystem::path& prefix) {
  if (!prefix.empty()) ::setenv("QUILLMERE_PREFIX", prefix.c_str(), 1);
}

void AddJsonOption(CLI::App& command, bool& json) {
  command.add_flag("--json", json, "Print the data as JSON");
}

std::string JsonString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          quoted += escaped;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

namespace {

void PrintJson(const Table& table, std::ostream& out) {
  out << "[";
  for (size_t row = 0; row < table.rows.size(); ++row) {
    out << (row == 0 ? "\n  {" : ",\n  {");
    for (size_t column = 0; column < table.columns.size(); ++column) {
      const std::string& cell =
          column < table.rows[row].size() ? table.rows[row][column] : std::string();
      out << (column == 0 ? "" : ", ") << JsonString(table.columns[column]) << ": "
          << JsonString(cell);
    }
    out << "}";
  }
  out << (table.rows.empty() ? "]\n" : "\n]\n");
}

void PrintColumns(const Table& table, std::ostream& out) {
  std::vector<size_t> widths;
  for (const std::string& column : table.columns)
    widths.push_back(column.size());
  for (const auto& row : table.rows)
    for (size_t column = 0; column < row.size() && column < widths.size(); ++column)
      widths[column] = std::max(widths[column], row[column].size());
  const auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t column = 0; column < widths.size(); ++column) {
      const std::string cell = column < cells.size() ? cells[column] : std::string();
      text += cell;
      if (column + 1 < widths.size()) text += std::string(widths[column] - cell.size() + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    out << text << "\n";
  };
  line(table.columns);
  for (const auto& row : table.rows)
    line(row);
}

}  // namespace

void PrintTable(const Table& table, bool json, std::ostream& out) {
  if (json)
    PrintJson(table, out);
  else
    PrintColumns(table, out);
}

std::string ReadSecret(std::string_view prompt, std::istream& in, std::ostream& promptOut) {
  std::string secret;
  const bool terminal = &in == &std::cin && ::isatty(STDIN_FILENO) != 0;
  if (terminal) {
    promptOut << prompt << std::flush;
    termios saved{};
    ::tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::getline(in, secret);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    promptOut << "\n";
  } else {
    std::getline(in, secret);
  }
  if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  if (secret.empty()) throw CommandFailure("no password given");
  return secret;
}

Progress::Progress(std::ostream& out, std::string what, size_t total)
    : out_(out), what_(std::move(what)), total_(total) {}

void Progress::Advance(size_t done) {
  done_ = done;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastShown_ < std::chrono::milliseconds(500)) return;
  shown_ = true;
  lastShown_ = now;
  out_ << what_ << ": " << done_ << " of " << total_ << "\n" << std::flush;
}

void Progress::Finish() {
  out_ << what_ << ": " << done_ << " of " << total_ << ", done\n" << std::flush;
}

}  // namespace quillmere::host
