// Random texts from libsodium's generator.
#pragma once

#include <string>

namespace quillmere::host {

// 32 random bytes as 64 lower-case hex digits.
std::string RandomToken();

}  // namespace quillmere::host
