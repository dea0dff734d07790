#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <mutex>

namespace quor {

namespace {

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

bool IsIpv6Literal(const std::string& host) {
  in6_addr address{};
  return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

}  // namespace

std::string NetworkAddress::Text() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (family() == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text,
              sizeof text);
  } else if (family() == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

bool NetworkAddress::IsLoopback() const {
  if (family() == AF_INET) {
    uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr.s_addr);
    return (address >> 24) == 127;
  }
  if (family() == AF_INET6) {
    const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&address)) return true;
    return IN6_IS_ADDR_V4MAPPED(&address) && address.s6_addr[12] == 127;
  }
  return false;
}

void SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  host = text;
  port.clear();
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string::npos) return;
    std::string rest = text.substr(close + 1);
    if (rest.empty() || (rest[0] == ':' && AllDigits(rest.substr(1)))) {
      host = text.substr(1, close - 1);
      if (!rest.empty()) port = rest.substr(1);
    }
    return;
  }
  // "::1" and "fe80::1:25" are addresses, not a host and a port.
  if (IsIpv6Literal(text)) return;
  size_t colon = text.rfind(':');
  if (colon != std::string::npos && AllDigits(text.substr(colon + 1))) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
}

bool IsAddressLiteral(const std::string& host) {
  in_addr address{};
  return inet_pton(AF_INET, host.c_str(), &address) == 1 || IsIpv6Literal(host);
}

std::vector<NetworkAddress> ResolveHostAddresses(const std::string& name, int port) {
  std::vector<NetworkAddress> addresses;
  if (name.empty() || port < 0) return addresses;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // No AI_ADDRCONFIG: it drops loopback addresses on a machine whose only
  // network is the loopback. An address of a family this machine cannot
  // reach fails its connect at once, and the next one is tried.
  if (IsAddressLiteral(name)) hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    NetworkAddress address;
    std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
    address.length = entry->ai_addrlen;
    if (entry->ai_family == AF_INET) {
      reinterpret_cast<sockaddr_in*>(&address.storage)->sin_port = static_cast<uint16_t>(port);
    } else {
      reinterpret_cast<sockaddr_in6*>(&address.storage)->sin6_port = static_cast<uint16_t>(port);
    }
    addresses.push_back(address);
  }
  freeaddrinfo(found);
  return addresses;
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
