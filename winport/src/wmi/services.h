// IWbemServices for one namespace of the repository.
#pragma once

#include <memory>

#include <winport/com_object.h>

#include "repository.h"

namespace winport::wmi {

// Throws std::bad_alloc.
ComPtr<IWbemServices> MakeServices(std::shared_ptr<Repository> repository, NamespaceId ns,
                                   WideString namespace_path, WideString server);

}  // namespace winport::wmi
