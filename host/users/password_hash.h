// Argon2id password hashes (libsodium's crypto_pwhash_str, interactive limits). The
// limits are part of each stored hash, so verifying reads them from there.
#pragma once

#include <string>
#include <string_view>

namespace quillmere::host {

// Initialises libsodium once per process; throws when it cannot.
void EnsureSodium();

std::string HashPassword(std::string_view password);
bool VerifyPassword(const std::string& hash, std::string_view password);
// Verifies against a hash of no one's password, made once, so that a name without a
// stored hash costs as much as one with it. Always false.
bool VerifyWithoutUser(std::string_view password);
// Makes that hash now, so that not even the first unknown name answers sooner.
void PrepareVerifyWithoutUser();

}  // namespace quillmere::host
