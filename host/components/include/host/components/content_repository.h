// The named object "Repository": the documents of the host's content folder, as each
// session sees them.
#pragma once

#include <filesystem>

#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "quillmere/repository.h"

namespace quillmere::host {

// ReadDocument(path, "X") answers the file's UTF-8 text; a path is relative to the folder
// (leading separators name the folder itself, "\" and "/" both separate). A path that would
// leave the folder (through "..", a drive or network name, or a symbolic link) answers
// E_ACCESSDENIED; a document that is not there answers S_FALSE with no text.
winport::ComPtr<quillmere::IRepository> MakeRepository(std::filesystem::path contentFolder);

// Makes the folder and writes the shipped mainmenu.xml into it, unless one is there already
// (an administrator's own menu is kept).
void InstallDefaultContent(const std::filesystem::path& contentFolder);

}  // namespace quillmere::host
