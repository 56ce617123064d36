#include <fcntl.h>

#include <cerrno>
#include <system_error>

#include <winport/owner_only.h>

#include "embedded_text.h"
#include "host/components/content_repository.h"
#include "posix_file.h"

namespace quillmere::host {

void InstallDefaultContent(const std::filesystem::path& contentFolder) {
  std::error_code created;
  winport::machine::CreatePrivateDirectories(contentFolder, created);
  if (created) throw std::system_error(created, contentFolder.string());
  const std::filesystem::path menu = contentFolder / "mainmenu.xml";
  // Created only if absent, in one step, so an administrator's menu is never replaced.
  const PosixFile file(menu, O_WRONLY | O_CREAT | O_EXCL);
  if (!file.IsOpen()) {
    if (file.OpenError() == EEXIST) return;
    throw std::system_error(file.OpenError(), std::generic_category(), menu.string());
  }
  if (const int error = file.WriteAll(DefaultMainMenu()))
    throw std::system_error(error, std::generic_category(), menu.string());
}

}  // namespace quillmere::host
