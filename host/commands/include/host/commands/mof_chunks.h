// A MOF text cut into runs of whole lines, each holding complete statements, so that a
// large file can be compiled piece by piece with progress shown between the pieces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillmere::host {

struct MofChunk {
  // The lines themselves, preceded by every namespace pragma met before them and by
  // blank lines, so that the compiler reports the file's own line numbers and columns.
  std::string text;
  size_t classes = 0;
  size_t instances = 0;
};

// Cuts a text that compiles after about objectsPerChunk classes and instances each. Only
// statement boundaries at the end of a line are cut at.
std::vector<MofChunk> SplitMof(std::string_view text, size_t objectsPerChunk);

}  // namespace quillmere::host
