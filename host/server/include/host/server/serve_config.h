// `serve --config FILE`: a file of `key = value` lines, one option of `serve` each, named
// as its long option without the dashes ("listen = 0.0.0.0:8080"). `#` starts a comment
// line; blank lines are skipped; a value may be written in double quotes. An option given
// on the command line wins over the file. A flag takes true or false.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quillmere::host {

struct ConfigEntry {
  unsigned line = 0;  // 1, 2, ...
  std::string key;
  std::string value;
};

// The entries of the file's text in order; throws std::runtime_error "NAME:LINE: reason"
// for a line that is not a `key = value`, or a key given twice.
std::vector<ConfigEntry> ReadConfigText(const std::string& text, const std::string& name);

// Reads the file and applies each entry to the option of `command` it names, unless the
// command line gave that option; throws CLI::ValidationError "FILE:LINE: reason" for an
// unknown key or a value the option refuses.
void ApplyConfigFile(CLI::App& command, const std::filesystem::path& file);

}  // namespace quillmere::host
