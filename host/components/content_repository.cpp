#include "host/components/content_repository.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include <winport/com_object.h>
#include <winport/wide.h>

#include "confined_path.h"
#include "host/common/bstr_text.h"
#include "host/common/com_boundary.h"

namespace quillmere::host {
namespace {

#define RESERVED_SLOT(n)                             \
  HRESULT STDMETHODCALLTYPE Reserved##n() override { \
    return E_NOTIMPL;                                \
  }

// The file's bytes, or nothing when it is not a readable regular file.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text;
}

// Every session sees the whole folder: the host keeps no per-user documents.
class RepositoryView : public winport::ComObject<quillmere::IRepositoryView> {
 public:
  explicit RepositoryView(std::filesystem::path folder) : folder_(std::move(folder)) {}

  HRESULT STDMETHODCALLTYPE ReadDocument(BSTR path, BSTR mode, BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    *text = nullptr;
    if (winport::BstrView(mode) != OLESTR("X")) return E_INVALIDARG;
    return Guarded([&] {
      const auto file = ConfinedPath(folder_, Utf8Of(path));
      if (!file) return E_ACCESSDENIED;
      const std::optional<std::string> bytes = ReadRegularFile(*file);
      if (!bytes) return S_FALSE;
      const std::string_view document = WithoutByteOrderMark(*bytes);
      if (document.empty()) return S_OK;
      *text = ToBstr(document);
      return *text != nullptr ? S_OK : E_OUTOFMEMORY;
    });
  }

  RESERVED_SLOT(3)
  RESERVED_SLOT(4)
  RESERVED_SLOT(5)
  RESERVED_SLOT(6)
  RESERVED_SLOT(7)
  RESERVED_SLOT(8)
  RESERVED_SLOT(9)
  RESERVED_SLOT(10)
  RESERVED_SLOT(11)
  RESERVED_SLOT(12)
  RESERVED_SLOT(13)
  RESERVED_SLOT(14)
  RESERVED_SLOT(15)
  RESERVED_SLOT(16)
  RESERVED_SLOT(17)
  RESERVED_SLOT(18)
  RESERVED_SLOT(19)
  RESERVED_SLOT(20)
  RESERVED_SLOT(21)
  RESERVED_SLOT(22)
  RESERVED_SLOT(23)
  RESERVED_SLOT(24)
  RESERVED_SLOT(25)
  RESERVED_SLOT(26)

 private:
  const std::filesystem::path folder_;
};

class Repository : public winport::ComObject<quillmere::IRepository> {
 public:
  explicit Repository(std::filesystem::path folder) : folder_(std::move(folder)) {}

  HRESULT STDMETHODCALLTYPE GetSessionView(quillmere::ISession*,
                                           quillmere::IRepositoryView** view) override {
    if (view == nullptr) return E_POINTER;
    *view = nullptr;
    return Guarded([&] {
      const winport::ComPtr<quillmere::IRepositoryView> made =
          winport::MakeComObject<RepositoryView>(folder_);
      if (!made) return E_OUTOFMEMORY;
      return made.CopyTo(view);
    });
  }

  RESERVED_SLOT(3)
  RESERVED_SLOT(4)
  RESERVED_SLOT(5)
  RESERVED_SLOT(6)

 private:
  const std::filesystem::path folder_;
};

#undef RESERVED_SLOT

}  // namespace

winport::ComPtr<quillmere::IRepository> MakeRepository(std::filesystem::path contentFolder) {
  return winport::MakeComObject<Repository>(std::move(contentFolder));
}

}  // namespace quillmere::host
