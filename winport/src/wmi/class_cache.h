// Decoded classes of one repository, kept while its classes stay the same. Every change to
// classes or namespaces, by any process, moves the repository's class generation on, and
// a class read at an older generation is not handed out again.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "class_definition.h"

namespace winport::wmi {

using NamespaceId = std::int64_t;

class ClassCache {
 public:
  // The class as read at this generation; null when it has not been kept.
  std::shared_ptr<const ClassDefinition> Find(NamespaceId ns, WideView name,
                                              std::int64_t generation);
  // Keeps a class read at this generation. Throws std::bad_alloc.
  void Keep(NamespaceId ns, std::int64_t generation,
            std::shared_ptr<const ClassDefinition> definition);

 private:
  // Forgets everything kept at another generation.
  void MoveTo(std::int64_t generation);

  std::mutex mutex_;
  std::int64_t generation_ = -1;
  std::vector<std::pair<NamespaceId, std::shared_ptr<const ClassDefinition>>> classes_;
};

}  // namespace winport::wmi
