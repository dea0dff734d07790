#include "net/tcp_stream.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "net/host_lookup.h"

namespace quor {

namespace {

constexpr uint32_t kNoAddress = 0xFFFFFFFFu;

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Milliseconds for poll until the deadline, rounded up so that a short wait
// never becomes a mere check; the far future waits without a limit.
int PollMilliseconds(Deadline deadline) {
  if (deadline == Deadline::max()) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
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

int TcpStream::Connect(const std::string& host, const std::string& service,
                       std::unique_ptr<TcpStream>& stream) {
  stream.reset();
  // Close-on-exec: programs started by actions must not inherit mail sockets.
  int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) return -1;
  auto connection = std::make_unique<TcpStream>(handle);

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
  stream = std::move(connection);
  return 1;
}

TcpStream::TcpStream(int handle) : handle_(handle) {}

TcpStream::~TcpStream() { Close(); }

void TcpStream::Close() {
  if (handle_ < 0) return;
  shutdown(handle_, SHUT_RDWR);
  close(handle_);
  handle_ = -1;
}

int TcpStream::Wait(short events, Deadline deadline) {
  pollfd entry{};
  entry.fd = handle_;
  entry.events = events;
  for (;;) {
    int result = poll(&entry, 1, PollMilliseconds(deadline));
    if (result < 0 && errno == EINTR) continue;
    if (result < 0) return -errno;
    if (result == 0) return 0;
    if (entry.revents & POLLNVAL) return -EBADF;
    // A closed or failed connection counts as ready: the receive or send that
    // follows reports what happened.
    return 1;
  }
}

int TcpStream::Read(char* buffer, size_t size, Deadline deadline) {
  if (handle_ < 0) return -ENOTCONN;
  if (size == 0) return 0;
  for (;;) {
    ssize_t count = recv(handle_, buffer, size, MSG_DONTWAIT);
    if (count >= 0) return static_cast<int>(count);
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return -errno;
    int ready = Wait(POLLIN, deadline);
    if (ready < 0) return ready;
    if (ready == 0) return -ETIMEDOUT;
  }
}

bool TcpStream::HasInput() {
  if (handle_ < 0) return false;
  pollfd entry{};
  entry.fd = handle_;
  entry.events = POLLIN;
  while (poll(&entry, 1, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return entry.revents != 0;
}

int TcpStream::Write(const char* data, size_t length, Deadline deadline) {
  if (handle_ < 0) return -ENOTCONN;
  size_t total = 0;
  while (total < length) {
    ssize_t sent = send(handle_, data + total, length - total, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0) {
      total += static_cast<size_t>(sent);
      continue;
    }
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return -errno;
    // The peer is not taking bytes: wait for room, as long as the caller allows.
    int ready = Wait(POLLOUT, deadline);
    if (ready < 0) return ready;
    if (ready == 0) return -ETIMEDOUT;
  }
  return static_cast<int>(total);
}

}  // namespace quor
