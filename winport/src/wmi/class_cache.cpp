#include "class_cache.h"

namespace winport::wmi {

std::shared_ptr<const ClassDefinition> ClassCache::Find(NamespaceId ns, WideView name,
                                                        std::int64_t generation) {
  std::lock_guard lock(mutex_);
  MoveTo(generation);
  for (const auto& [class_ns, definition] : classes_) {
    if (class_ns == ns && NamesEqual(definition->name, name)) return definition;
  }
  return nullptr;
}

void ClassCache::Keep(NamespaceId ns, std::int64_t generation,
                      std::shared_ptr<const ClassDefinition> definition) {
  std::lock_guard lock(mutex_);
  MoveTo(generation);
  classes_.emplace_back(ns, std::move(definition));
}

void ClassCache::MoveTo(std::int64_t generation) {
  if (generation == generation_) return;
  classes_.clear();
  generation_ = generation;
}

}  // namespace winport::wmi
