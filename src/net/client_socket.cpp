#include "net/client_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
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

// "host:port" with digits after the last colon names its own port.
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

// A connect interrupted by a signal goes on in the background; its outcome is
// known once the socket becomes writable.
int FinishInterruptedConnect(int handle) {
  pollfd entry{};
  entry.fd = handle;
  entry.events = POLLOUT;
  while (poll(&entry, 1, -1) < 0) {
    if (errno != EINTR) return -errno;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return -errno;
  return error == 0 ? 0 : -error;
}

}  // namespace

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

int ClientSocket::Connect(const std::string& host, const std::string& service) {
  // Close-on-exec: programs started by actions must not inherit mail sockets.
  int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) return -1;
  AdoptSocket(handle);

  linger lingering{};
  lingering.l_onoff = 1;
  lingering.l_linger = 5;
  setsockopt(handle, SOL_SOCKET, SO_LINGER, &lingering, sizeof lingering);
  int on = 1;
  setsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

  std::string host_part;
  std::string port_part;
  SplitHostPort(host, host_part, port_part);
  int port = ResolveService(port_part.empty() ? service : port_part);
  uint32_t address = ResolveHost(host_part);
  if (port == -1 || address == kNoAddress) return -1;

  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = static_cast<uint16_t>(port);
  peer.sin_addr.s_addr = address;
  if (connect(handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    int result = errno == EINTR ? FinishInterruptedConnect(handle) : -errno;
    if (result != 0) return result;
  }

  int mode = fcntl(handle, F_GETFL, 0);
  if (mode >= 0) {
    mode = (flags_ & kNonBlocking) ? (mode | O_NONBLOCK) : (mode & ~O_NONBLOCK);
    fcntl(handle, F_SETFL, mode);
  }

  host_name_ = host;
  service_name_ = service;
  SetConnected(true);
  return handle;
}

}  // namespace quor
