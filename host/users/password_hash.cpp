#include "password_hash.h"

#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace quillmere::host {

namespace {

// Test use only: QUILLMERE_TEST_CHEAP_HASHING=1 in the environment of the command that
// adds a user stores that user's hash at libsodium's least cost, so that a test can seed
// a thousand logons in seconds. A hash keeps its cost inside it: users added without the
// variable, and every verification of their passwords, keep the full cost.
bool CheapHashingForTests() {
  const char* value = std::getenv("QUILLMERE_TEST_CHEAP_HASHING");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

std::string Hash(std::string_view password, bool cheap) {
  EnsureSodium();
  char hash[crypto_pwhash_STRBYTES];
  // Fails only when the memory for the hash cannot be had.
  if (crypto_pwhash_str(hash, password.data(), password.size(),
                        cheap ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        cheap ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE) !=
      0)
    throw std::bad_alloc();
  return hash;
}

// Verifying against it costs what verifying a real user's password costs.
const std::string& DummyHash() {
  static const std::string dummy = [] {
    unsigned char secret[32];
    EnsureSodium();
    randombytes_buf(secret, sizeof secret);
    return Hash(std::string_view(reinterpret_cast<const char*>(secret), sizeof secret), false);
  }();
  return dummy;
}

}  // namespace

void EnsureSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium could not be initialised");
}

std::string HashPassword(std::string_view password) {
  return Hash(password, CheapHashingForTests());
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
