#include "host/commands/mof_command.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <winport/scoped_bstr.h>

#include "host/commands/command_support.h"
#include "host/commands/mof_chunks.h"
#include "host/commands/wmi_access.h"

namespace quillmere::host {
namespace {

// Enough for a progress line every second or so on a slow disk.
constexpr size_t kObjectsPerChunk = 250;
constexpr LONG kSyntaxPhase = 1;

struct MofOptions {
  std::filesystem::path prefix;
  std::vector<std::string> files;
};

std::string ReadFile(const std::string& name) {
  std::error_code error;
  if (std::filesystem::is_directory(name, error)) throw CommandFailure(name + ": is a folder");
  std::ifstream file(name, std::ios::binary);
  if (!file) throw CommandFailure(name + ": " + std::strerror(errno));
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The text as UTF-8; the compiler also reads UTF-16 with a byte order mark.
std::string Utf8Text(const std::string& bytes) {
  const bool little = bytes.starts_with("\xFF\xFE");
  if (!little && !bytes.starts_with("\xFE\xFF")) return bytes;
  std::u16string wide;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    wide.push_back(static_cast<char16_t>(little ? second << 8 | first : first << 8 | second));
  }
  return winport::WideToUtf8(wide);
}

std::string ErrorDescription() {
  winport::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return {};
  winport::ScopedBstr description;
  if (FAILED(info->GetDescription(description.Receive()))) return {};
  return Utf8Of(description.Get());
}

// "FILE:LINE:COLUMN: message" for a syntax error, "FILE:LINE: ..." for an object the
// repository refused.
[[noreturn]] void FailCompiling(const std::string& file, const WBEM_COMPILE_STATUS_INFO& status) {
  const std::string description = ErrorDescription();
  if (status.lPhaseError == kSyntaxPhase) {
    static const std::regex where(R"(^line (\d+), column (\d+): (.*)$)");
    std::smatch found;
    if (std::regex_match(description, found, where))
      throw CommandFailure(file + ":" + found[1].str() + ":" + found[2].str() + ": " +
                           found[3].str());
    throw CommandFailure(file + ":" + std::to_string(status.FirstLine) + ": " + description);
  }
  if (status.FirstLine > 0)
    throw CommandFailure(file + ":" + std::to_string(status.FirstLine) + ": the object of lines " +
                         std::to_string(status.FirstLine) + "-" + std::to_string(status.LastLine) +
                         " could not be stored: " + WbemErrorText(status.hRes));
  throw CommandFailure(file + ": " + WbemErrorText(status.hRes));
}

void Compile(IMofCompiler* compiler, const std::string& file, const std::string& text, LONG flags) {
  WBEM_COMPILE_STATUS_INFO status{};
  const HRESULT hr = compiler->CompileBuffer(
      static_cast<LONG>(text.size()), reinterpret_cast<BYTE*>(const_cast<char*>(text.data())),
      nullptr, nullptr, nullptr, nullptr, flags, 0, 0, &status);
  if (hr != S_OK) {
    if (status.lPhaseError == 0) status.hRes = hr;
    FailCompiling(file, status);
  }
}

// The whole text is checked first, so that nothing is stored from a file that does not
// parse; then it is stored piece by piece.
void CompileFile(IMofCompiler* compiler, const std::string& file, std::ostream& out,
                 std::ostream& progressOut) {
  const std::string text = Utf8Text(ReadFile(file));
  Compile(compiler, file, text, WBEM_FLAG_CHECK_ONLY);
  const std::vector<MofChunk> chunks = SplitMof(text, kObjectsPerChunk);
  size_t classes = 0;
  size_t instances = 0;
  for (const MofChunk& chunk : chunks) {
    classes += chunk.classes;
    instances += chunk.instances;
  }
  Progress progress(progressOut, file + ": objects stored", classes + instances);
  size_t done = 0;
  for (const MofChunk& chunk : chunks) {
    Compile(compiler, file, chunk.text, 0);
    done += chunk.classes + chunk.instances;
    if (chunks.size() > 1) progress.Advance(done);
  }
  if (chunks.size() > 1) progress.Finish();
  out << file << ": " << classes << (classes == 1 ? " class, " : " classes, ") << instances
      << (instances == 1 ? " instance" : " instances") << " stored\n";
}

}  // namespace

void AddMofCommand(CLI::App& app, std::ostream& out, std::ostream& progress) {
  auto options = std::make_shared<MofOptions>();
  CLI::App* mof = app.add_subcommand(
      "mof",
      "Compile MOF files into the WMI repository (as mofcomp does); a file that does not "
      "parse stores nothing and its error is given as FILE:LINE:COLUMN");
  AddPrefixOption(*mof, options->prefix);
  mof->add_option("FILE", options->files, "MOF files (UTF-8, or UTF-16 with a byte order mark)")
      ->required();
  mof->callback([options, &out, &progress] {
    UsePrefix(options->prefix);
    const winport::ScopedComInit com(COINIT_MULTITHREADED);
    CheckWbem(com.Result(), "COM");
    winport::ComPtr<IMofCompiler> compiler;
    CheckWbem(CoCreateInstance(CLSID_MofCompiler, nullptr, CLSCTX_INPROC_SERVER, IID_IMofCompiler,
                               reinterpret_cast<void**>(compiler.GetAddressOf())),
              "MOF compiler");
    for (const std::string& file : options->files)
      CompileFile(compiler.Get(), file, out, progress);
  });
}

}  // namespace quillmere::host
