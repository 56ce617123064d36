// What the targets share: a machine of their own, the input as the text the product reads,
// and how a broken property stops the run.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <winport/wide.h>

namespace quillmere::fuzz {

namespace detail {
inline std::filesystem::path& ScratchPrefix() {
  static std::filesystem::path prefix;
  return prefix;
}
inline void RemoveScratchMachine() {
  std::error_code ignored;
  if (!ScratchPrefix().empty()) std::filesystem::remove_all(ScratchPrefix(), ignored);
}
}  // namespace detail

// An empty QUILLMERE_PREFIX of this process's own (in memory when the machine has
// /dev/shm), removed when the process exits: a target never sees the user's machine.
inline void EnterScratchMachine() {
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  std::string pattern = (base / "quillmere-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  detail::ScratchPrefix() = pattern;
  ::setenv("QUILLMERE_PREFIX", pattern.c_str(), 1);
  std::atexit(detail::RemoveScratchMachine);
}

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input as the text a caller's BSTR carries: UTF-8 decoded to UTF-16.
inline winport::WideString WideText(const std::uint8_t* data, std::size_t size) {
  return winport::Utf8ToWide(Bytes(data, size));
}

// A property that does not hold: reported and stopped like a crash, so that libFuzzer
// keeps the input.
[[noreturn]] inline void Broken(const std::string& what) {
  std::fprintf(stderr, "property broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace quillmere::fuzz
