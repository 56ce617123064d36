// What every `quillmere` subcommand shares: the machine prefix it works on, the one-line
// failure, data printed as a table or as JSON, a secret read without echo, and progress
// for long work.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace quillmere::host {

// A failure the program reports as "quillmere: <what>" on stderr with exit status 1.
class CommandFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --prefix, defaulting to QUILLMERE_PREFIX and then the machine's default folder.
void AddPrefixOption(CLI::App& command, std::filesystem::path& prefix);
// Makes the prefix the machine every later platform call works on.
void UsePrefix(const std::filesystem::path& prefix);

// Rows of text under named columns: aligned columns for a person, an array of objects
// (column name -> text) for a program.
struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};
void AddJsonOption(CLI::App& command, bool& json);
void PrintTable(const Table& table, bool json, std::ostream& out);
std::string JsonString(std::string_view text);  // quoted and escaped

// A password or other secret: from the terminal without echo after the prompt, or one
// line of standard input when that is not a terminal. Empty input is a failure.
std::string ReadSecret(std::string_view prompt, std::istream& in, std::ostream& promptOut);

// Progress of long work on stderr: a line at most every half second, the last one always.
class Progress {
 public:
  Progress(std::ostream& out, std::string what, size_t total);
  void Advance(size_t done);
  void Finish();

 private:
  std::ostream& out_;
  std::string what_;
  size_t total_;
  size_t done_ = 0;
  std::chrono::steady_clock::time_point lastShown_;
  bool shown_ = false;
};

}  // namespace quillmere::host
