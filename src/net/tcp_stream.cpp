#include "net/tcp_stream.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace quor {

namespace {

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Milliseconds for poll until the deadline, rounded up so that a short wait
// never becomes a mere check; the far future waits without a limit.
int PollMilliseconds(Deadline deadline) {
  if (deadline == Deadline::max()) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// A connect in progress (or interrupted by a signal, which lets it go on in
// the background) is over once the socket becomes writable: 0 connected,
// -ETIMEDOUT after the deadline, else -errno.
int FinishConnect(int handle, Deadline deadline) {
  pollfd entry{};
  entry.fd = handle;
  entry.events = POLLOUT;
  for (;;) {
    int ready = poll(&entry, 1, PollMilliseconds(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -errno;
    if (ready == 0) return -ETIMEDOUT;
    break;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return -errno;
  return error == 0 ? 0 : -error;
}

// One connection attempt: the connected socket, or -errno.
int ConnectTo(const NetworkAddress& address, int wait_seconds) {
  // Close-on-exec: programs started by actions must not inherit mail sockets.
  // Non-blocking only while connecting, so the attempt has a time limit.
  int handle = socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (handle < 0) return -errno;
  int result = 0;
  if (connect(handle, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
    result = errno == EINPROGRESS || errno == EINTR
                 ? FinishConnect(handle, DeadlineIn(wait_seconds))
                 : -errno;
  }
  if (result == 0) {
    int flags = fcntl(handle, F_GETFL);
    if (flags < 0 || fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) result = -errno;
  }
  if (result != 0) {
    close(handle);
    return result;
  }
  linger lingering{};
  lingering.l_onoff = 1;
  lingering.l_linger = 5;
  setsockopt(handle, SOL_SOCKET, SO_LINGER, &lingering, sizeof lingering);
  int on = 1;
  setsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return handle;
}

}  // namespace

int TcpStream::Connect(const std::string& host, const std::string& service,
                       std::unique_ptr<TcpStream>& stream, int connect_wait_seconds) {
  stream.reset();
  std::string host_part;
  std::string port_part;
  SplitHostPort(host, host_part, port_part);
  int port = ResolveService(port_part.empty() ? service : port_part);
  if (port == -1) return -1;
  return Connect(ResolveHostAddresses(host_part, port), stream, connect_wait_seconds);
}

int TcpStream::Connect(const std::vector<NetworkAddress>& addresses,
                       std::unique_ptr<TcpStream>& stream, int connect_wait_seconds) {
  stream.reset();
  int result = -1;
  for (const NetworkAddress& address : addresses) {
    result = ConnectTo(address, connect_wait_seconds);
    if (result >= 0) {
      stream = std::make_unique<TcpStream>(result);
      stream->peer_on_loopback_ = address.IsLoopback();
      return 1;
    }
  }
  return result;
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
