#include <fcntl.h>
#include <unistd.h>

#include <winport/machine.h>
#include <winport/message_queuing.h>
#include <winport/owner_only.h>
#include <winport/registry.h>
#include <winport/scoped_hkey.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace winport::msmq {
namespace {

namespace fs = std::filesystem;

constexpr const WCHAR* kParametersKey = u"SOFTWARE\\Microsoft\\MSMQ\\Parameters";
constexpr const WCHAR* kMsmqKey = u"SOFTWARE\\Microsoft\\MSMQ";

fs::path StoppedMarker() {
  return StorageDirectory() / "stopped";
}

constexpr const WCHAR* kBrokerValue = u"Broker";
constexpr DWORD kDefaultQuotaKb = 1024 * 1024;
// Longer URLs are refused: nothing legitimate needs more.
constexpr size_t kLongestUrl = 2048;

// Percent-decoding of a URL part; nullopt for a broken escape or a control character.
std::optional<std::string> Decoded(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const std::string hex(text.substr(i + 1, 2));
      char* end = nullptr;
      const long value = hex.size() == 2 ? std::strtol(hex.c_str(), &end, 16) : -1;
      if (value < 0 || end != hex.c_str() + 2) return std::nullopt;
      c = static_cast<char>(value);
      i += 2;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
    decoded += c;
  }
  return decoded;
}

// Percent-encoding of a URL part: everything but letters, digits and "-._~".
std::string Encoded(std::string_view text) {
  std::string encoded;
  for (const char c : text) {
    const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      encoded += c;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
      encoded += escape;
    }
  }
  return encoded;
}

DWORD ErrorOf(const std::error_code& error) {
  return error ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : static_cast<DWORD>(ERROR_SUCCESS);
}

}  // namespace

fs::path StorageDirectory() {
  return machine::MessageQueueDirectory();
}

bool IsInstalled() {
  ScopedHkey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_READ, key.Receive()) ==
         ERROR_SUCCESS;
}

bool IsRunning() {
  std::error_code error;
  return IsInstalled() && !fs::exists(StoppedMarker(), error);
}

DWORD Install() {
  std::error_code error;
  machine::CreatePrivateDirectories(StorageDirectory(), error);
  if (error) return ErrorOf(error);
  ScopedHkey key;
  return static_cast<DWORD>(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, nullptr, 0,
                                            KEY_WRITE, nullptr, key.Receive(), nullptr));
}

DWORD Uninstall() {
  const LSTATUS removed = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMsmqKey);
  if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
    return static_cast<DWORD>(removed);
  }
  // The key goes first: from then on no runtime touches the storage.
  std::error_code error;
  fs::remove_all(StorageDirectory(), error);
  if (error) return ErrorOf(error);
  machine::CreatePrivateDirectories(StorageDirectory(), error);
  return ErrorOf(error);
}

DWORD Start() {
  if (!IsInstalled()) return ERROR_SERVICE_DOES_NOT_EXIST;
  std::error_code error;
  fs::remove(StoppedMarker(), error);
  return ErrorOf(error);
}

DWORD Stop() {
  if (!IsInstalled()) return ERROR_SERVICE_DOES_NOT_EXIST;
  const int marker = machine::OpenPrivateFile(StoppedMarker(), O_WRONLY | O_CREAT);
  if (marker < 0) return ERROR_ACCESS_DENIED;
  ::close(marker);
  return ERROR_SUCCESS;
}

// The URL's query for the TLS files the address names, each written by `write`.
template <class Write>
std::string TlsQuery(const BrokerAddress& address, Write write) {
  std::string query;
  for (const auto& [name, file] :
       {std::pair{"cacertfile=", &address.ca_file}, std::pair{"certfile=", &address.cert_file},
        std::pair{"keyfile=", &address.key_file}}) {
    if (!file->empty()) query += (query.empty() ? "?" : "&") + std::string(name) + write(*file);
  }
  return query;
}

std::string BrokerAddress::Redacted() const {
  std::string url =
      (tls ? "amqps://" : "amqp://") + user + "@" + host + ":" + std::to_string(port) + "/";
  if (vhost != "/") url += vhost;
  return url + TlsQuery(*this, [](std::string_view file) { return std::string(file); });
}

std::string BrokerAddress::Url() const {
  std::string url = (tls ? "amqps://" : "amqp://") + Encoded(user) + ":" + Encoded(password) + "@" +
                    host + ":" + std::to_string(port) + "/";
  if (vhost != "/") url += Encoded(vhost);
  return url + TlsQuery(*this, Encoded);
}

std::optional<BrokerAddress> ParseBrokerUrl(std::string_view url, std::string* reason) {
  const auto refuse = [&](const char* why) -> std::optional<BrokerAddress> {
    *reason = why;
    return std::nullopt;
  };
  if (url.size() > kLongestUrl) return refuse("the broker URL is too long");
  BrokerAddress address;
  std::string_view rest;
  if (url.starts_with("amqp://")) {
    rest = url.substr(7);
  } else if (url.starts_with("amqps://")) {
    rest = url.substr(8);
    address.tls = true;
    address.port = 5671;
  } else {
    return refuse("the broker URL must begin with amqp:// or amqps://");
  }
  if (const size_t question = rest.find('?'); question != std::string_view::npos) {
    if (!address.tls) return refuse("the broker URL's query is for amqps:// only");
    std::string_view query = rest.substr(question + 1);
    rest = rest.substr(0, question);
    while (!query.empty()) {
      const size_t amp = query.find('&');
      const std::string_view parameter = query.substr(0, amp);
      query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
      const size_t equals = parameter.find('=');
      const std::string_view name = parameter.substr(0, equals);
      std::string* file = name == "cacertfile" ? &address.ca_file
                          : name == "certfile" ? &address.cert_file
                          : name == "keyfile"  ? &address.key_file
                                               : nullptr;
      if (file == nullptr || equals == std::string_view::npos)
        return refuse("the broker URL's query may name only cacertfile, certfile and keyfile");
      const std::optional<std::string> decoded = Decoded(parameter.substr(equals + 1));
      if (!decoded || !decoded->starts_with('/'))
        return refuse("the broker URL's TLS files must be absolute paths");
      *file = *decoded;
    }
    if (address.cert_file.empty() != address.key_file.empty())
      return refuse("the broker URL names a client certificate with its key, or neither");
  }
  const size_t slash = rest.find('/');
  if (slash != std::string_view::npos) {
    const std::optional<std::string> vhost = Decoded(rest.substr(slash + 1));
    if (!vhost) return refuse("the broker URL's virtual host is not well encoded");
    if (!vhost->empty()) address.vhost = *vhost;
    rest = rest.substr(0, slash);
  }
  const size_t at = rest.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view credentials = rest.substr(0, at);
    const size_t colon = credentials.find(':');
    const std::optional<std::string> user = Decoded(credentials.substr(0, colon));
    const std::optional<std::string> password = colon == std::string_view::npos
                                                    ? std::optional<std::string>("")
                                                    : Decoded(credentials.substr(colon + 1));
    if (!user || !password || user->empty())
      return refuse("the broker URL's user or password is not well encoded");
    address.user = *user;
    address.password = *password;
    rest = rest.substr(at + 1);
  }
  const size_t colon = rest.rfind(':');
  if (colon != std::string_view::npos && rest.find(']') == std::string_view::npos) {
    const std::string port(rest.substr(colon + 1));
    char* end = nullptr;
    const long value = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || end != port.c_str() + port.size() || value < 1 || value > 65535)
      return refuse("the broker URL's port must be a number from 1 to 65535");
    address.port = static_cast<int>(value);
    rest = rest.substr(0, colon);
  }
  if (rest.empty()) return refuse("the broker URL names no host");
  for (const char c : rest) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!allowed) return refuse("the broker URL's host is not a host name or IPv4 address");
  }
  address.host = std::string(rest);
  return address;
}

DWORD SetBroker(std::string_view url) {
  std::string reason;
  if (!ParseBrokerUrl(url, &reason)) return ERROR_INVALID_DATA;
  ScopedHkey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_WRITE, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  const WideString wide = Utf8ToWide(url);
  return static_cast<DWORD>(RegSetValueExW(key.Get(), kBrokerValue, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(wide.c_str()),
                                           static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR))));
}

DWORD ClearBroker() {
  ScopedHkey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_WRITE, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  status = RegDeleteValueW(key.Get(), kBrokerValue);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);
}

std::optional<std::string> BrokerUrl() {
  ScopedHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), kBrokerValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size > (kLongestUrl + 1) * sizeof(WCHAR)) {
    return std::nullopt;
  }
  std::vector<WCHAR> text(size / sizeof(WCHAR) + 1, u'\0');
  if (RegQueryValueExW(key.Get(), kBrokerValue, nullptr, &type,
                       reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return WideToUtf8(WideString(text.data()));
}

DWORD MachineQuotaKb() {
  ScopedHkey key;
  DWORD quota = 0;
  DWORD size = sizeof quota;
  DWORD type = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_READ, key.Receive()) !=
          ERROR_SUCCESS ||
      RegQueryValueExW(key.Get(), u"MachineQuota", nullptr, &type, reinterpret_cast<BYTE*>(&quota),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return kDefaultQuotaKb;
  }
  return quota;
}

}  // namespace winport::msmq
