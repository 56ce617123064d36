#include "random_text.h"

#include <sodium.h>

#include <string_view>

#include "host/users/user_store.h"
#include "password_hash.h"

namespace quillmere::host {

std::string RandomToken() {
  EnsureSodium();
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

std::string RandomPassword() {
  // Letters and digits that cannot be mistaken for one another when read off a console.
  static constexpr std::string_view kAlphabet =
      "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  constexpr size_t kLength = 20;
  EnsureSodium();
  std::string password;
  for (size_t i = 0; i < kLength; ++i)
    password += kAlphabet[randombytes_uniform(static_cast<uint32_t>(kAlphabet.size()))];
  return password;
}

}  // namespace quillmere::host
