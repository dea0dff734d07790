#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <mutex>

namespace quor {

namespace {

constexpr uint32_t kNoAddress = 0xFFFFFFFFu;

bool StartsWithDigit(const std::string& text) {
  return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]));
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

void SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  size_t colon = text.rfind(':');
  if (colon != std::string::npos && AllDigits(text.substr(colon + 1))) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  } else {
    host = text;
    port.clear();
  }
}

uint32_t ResolveHost(const std::string& name) {
  if (name.empty()) return kNoAddress;
  if (StartsWithDigit(name)) return inet_addr(name.c_str());
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return kNoAddress;
  }
  uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return address;
}

int ResolveService(const std::string& name) {
  if (name.empty()) return -1;
  if (StartsWithDigit(name)) {
    // Leading digits are the port; a number that is no TCP port is refused
    // rather than cut down to some other port.
    long port = 0;
    for (size_t i = 0; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])); ++i) {
      port = port * 10 + (name[i] - '0');
      if (port > 65535) return -1;
    }
    return htons(static_cast<uint16_t>(port));
  }
  // getservbyname returns a shared static entry.
  static std::mutex lookup_mutex;
  std::lock_guard<std::mutex> lock(lookup_mutex);
  const servent* entry = getservbyname(name.c_str(), "tcp");
  if (entry == nullptr) return -1;
  return static_cast<uint16_t>(entry->s_port);
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

}  // namespace quor
