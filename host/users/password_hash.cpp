#include "password_hash.h"

#include <sodium.h>

#include <new>
#include <stdexcept>

namespace quillmere::host {

namespace {

const std::string& DummyHash() {
  static const std::string dummy = [] {
    unsigned char secret[32];
    EnsureSodium();
    randombytes_buf(secret, sizeof secret);
    return HashPassword(std::string_view(reinterpret_cast<const char*>(secret), sizeof secret));
  }();
  return dummy;
}

}  // namespace

void EnsureSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium could not be initialised");
}

std::string HashPassword(std::string_view password) {
  EnsureSodium();
  char hash[crypto_pwhash_STRBYTES];
  // Fails only when the memory for the hash cannot be had.
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw std::bad_alloc();
  return hash;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
  EnsureSodium();
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void PrepareVerifyWithoutUser() {
  DummyHash();
}

bool VerifyWithoutUser(std::string_view password) {
  VerifyPassword(DummyHash(), password);
  return false;
}

}  // namespace quillmere::host
