#include "password_hash.h"

#include <sodium.h>

#include <algorithm>
#include <new>
#include <semaphore>
#include <stdexcept>
#include <thread>

namespace quillmere::host {

namespace {

// Every hash or verification takes 64 MiB: without a bound, a burst of logons would take
// memory without limit, and could not finish any sooner than the cores allow anyway.
class HashingSlot {
 public:
  HashingSlot() { Slots().acquire(); }
  ~HashingSlot() { Slots().release(); }
  HashingSlot(const HashingSlot&) = delete;
  HashingSlot& operator=(const HashingSlot&) = delete;

 private:
  static std::counting_semaphore<>& Slots() {
    static std::counting_semaphore<> slots(
        std::max<std::ptrdiff_t>(2, std::thread::hardware_concurrency()));
    return slots;
  }
};

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
  const HashingSlot slot;
  // Fails only when the memory for the hash cannot be had.
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw std::bad_alloc();
  return hash;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
  EnsureSodium();
  const HashingSlot slot;
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
