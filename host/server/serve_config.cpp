#include "host/server/serve_config.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace quillmere::host {
namespace {

// A file larger than this is not a configuration: refusing it bounds what is read.
constexpr std::streamoff kMaxConfigBytes = 1 << 20;

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsKey(const std::string& key) {
  if (key.empty() || key.front() == '-') return false;
  for (const char c : key) {
    if (!(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9') && c != '-') return false;
  }
  return true;
}

// Options that make no sense in the file: it is already being read, or they only print.
bool IsCommandLineOnly(const std::string& key) {
  return key == "config" || key == "help";
}

}  // namespace

std::vector<ConfigEntry> ReadConfigText(const std::string& text, const std::string& name) {
  std::vector<ConfigEntry> entries;
  std::set<std::string> seen;
  std::istringstream lines(text);
  std::string raw;
  for (unsigned number = 1; std::getline(lines, raw); ++number) {
    const std::string line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    const auto fail = [&](const std::string& reason) {
      throw std::runtime_error(name + ":" + std::to_string(number) + ": " + reason);
    };
    const size_t equals = line.find('=');
    if (equals == std::string::npos) fail("expected key = value");
    ConfigEntry entry{number, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
    if (!IsKey(entry.key)) fail("\"" + entry.key + "\" is not an option's name");
    if (entry.value.size() >= 2 && entry.value.front() == '"' && entry.value.back() == '"') {
      entry.value = entry.value.substr(1, entry.value.size() - 2);
    }
    if (!seen.insert(entry.key).second) fail("\"" + entry.key + "\" is given a second time");
    entries.push_back(std::move(entry));
  }
  return entries;
}

void ApplyConfigFile(CLI::App& command, const std::filesystem::path& file) {
  const std::string name = file.string();
  std::ifstream in(file, std::ios::binary);
  if (!in) throw CLI::ValidationError("--config", "cannot read " + name);
  std::string text(kMaxConfigBytes + 1, '\0');
  in.read(text.data(), kMaxConfigBytes + 1);
  if (in.gcount() > kMaxConfigBytes) {
    throw CLI::ValidationError("--config", name + " is larger than 1 MB");
  }
  text.resize(static_cast<size_t>(in.gcount()));

  std::vector<ConfigEntry> entries;
  try {
    entries = ReadConfigText(text, name);
  } catch (const std::runtime_error& error) {
    throw CLI::ValidationError(error.what());
  }
  for (const ConfigEntry& entry : entries) {
    const std::string where = name + ":" + std::to_string(entry.line);
    CLI::Option* option =
        IsCommandLineOnly(entry.key) ? nullptr : command.get_option_no_throw("--" + entry.key);
    if (option == nullptr) {
      throw CLI::ValidationError(where, "unknown key \"" + entry.key + "\"");
    }
    if (option->count() > 0) continue;  // the command line said otherwise
    try {
      option->add_result(entry.value);
      option->run_callback();
    } catch (const CLI::Error& error) {
      throw CLI::ValidationError(where, entry.key + " = " + entry.value + ": " + error.what());
    }
  }
}

}  // namespace quillmere::host
