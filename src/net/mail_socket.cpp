#include "net/mail_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace quor {

namespace {

constexpr int kWaitRead = 1;
constexpr int kWaitWrite = 2;
constexpr int kWaitError = 4;

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Milliseconds for poll, rounded up so that a short wait never becomes a
// non-blocking check; negative seconds wait without a limit.
int PollMilliseconds(long long seconds, long long microseconds) {
  if (seconds < 0) return -1;
  long long total = seconds * 1000 + (microseconds + 999) / 1000;
  if (total < 0) return 0;
  return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

}  // namespace

MailSocket::MailSocket(uint32_t flags, char terminator) : flags_(flags), terminator_(terminator) {}

MailSocket::~MailSocket() { MailSocket::Close(); }

int MailSocket::Close() {
  if (socket_ != -1) {
    shutdown(socket_, SHUT_RDWR);
    close(socket_);
  }
  socket_ = -1;
  connected_ = false;
  // Whatever was read ahead belonged to that connection.
  read_position_ = read_end_ = 0;
  return 1;
}

void MailSocket::AdoptSocket(int handle) {
  Close();
  socket_ = handle;
  ApplyReceiveTimeLimit();
}

void MailSocket::set_receive_time_limit(int seconds) {
  receive_time_limit_ = seconds > 0 ? seconds : 0;
  ApplyReceiveTimeLimit();
}

void MailSocket::ApplyReceiveTimeLimit() {
  if (socket_ == -1) return;
  // A blocking receive then fails with EAGAIN once the limit has passed.
  timeval limit{};
  limit.tv_sec = receive_time_limit_;
  setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

int MailSocket::PeekData(char* buffer, int size) {
  if (size <= 0) return 0;
  if (buffered() > 0) {
    // The bytes read ahead come first on the connection; copying only them is
    // a valid short peek and never blocks.
    size_t count = std::min(buffered(), static_cast<size_t>(size));
    std::memcpy(buffer, read_buffer_.data() + read_position_, count);
    return static_cast<int>(count);
  }
  for (;;) {
    ssize_t count = recv(socket_, buffer, static_cast<size_t>(size), MSG_PEEK);
    if (count >= 0) return static_cast<int>(count);
    if (errno == EINTR) continue;
    if (WouldBlock(errno)) return 0;
    return -errno;
  }
}

int MailSocket::ReceiveData(char* buffer, int size) {
  if (size <= 0) return 0;
  if (buffered() > 0) {
    size_t count = std::min(buffered(), static_cast<size_t>(size));
    std::memcpy(buffer, read_buffer_.data() + read_position_, count);
    read_position_ += count;
    return static_cast<int>(count);
  }
  for (;;) {
    ssize_t count = recv(socket_, buffer, static_cast<size_t>(size), 0);
    if (count >= 0) return static_cast<int>(count);
    if (errno == EINTR) continue;
    if (WouldBlock(errno)) return 0;
    return -errno;
  }
}

int MailSocket::SendData(const char* data, int length) {
  if (length < 0) return -EINVAL;
  int total = 0;
  while (total < length) {
    ssize_t sent = send(socket_, data + total, static_cast<size_t>(length - total), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (!WouldBlock(errno)) return -errno;
      sent = 0;
    }
    total += static_cast<int>(sent);
    if (total < length) {
      // The buffer is full: wait until the peer has taken some.
      int ready = WaitWrite(-1, 0);
      if (ready < 0) return ready;
      // Not connected: nothing will ever become writable, so do not spin.
      if (ready == 0) return -ENOTCONN;
    }
  }
  return total;
}

int MailSocket::FillReadBuffer() {
  if (read_buffer_.empty()) read_buffer_.resize(kReadAheadSize);
  for (;;) {
    ssize_t count = recv(socket_, read_buffer_.data(), read_buffer_.size(), 0);
    if (count >= 0) {
      read_position_ = 0;
      read_end_ = static_cast<size_t>(count);
      return static_cast<int>(count);
    }
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return -errno;
    if ((flags_ & kNonBlocking) == 0) {
      // A blocking socket only says "would block" when its receive limit ran out.
      return -ETIMEDOUT;
    }
    int ready = WaitRead(receive_time_limit_ > 0 ? receive_time_limit_ : -1, 0);
    if (ready < 0) return ready;
    if (ready == 0) return connected_ ? -ETIMEDOUT : -ENOTCONN;
  }
}

int MailSocket::ReceiveLine(char* buffer, int maximum) {
  if (maximum <= 0) return 0;
  size_t stored = 0;
  const size_t limit = static_cast<size_t>(maximum);
  while (stored < limit) {
    if (buffered() == 0) {
      int filled = FillReadBuffer();
      // A peer that closes mid-line: the partial line is dropped, as a
      // byte-by-byte reader would drop it.
      if (filled == 0) return 0;
      if (filled < 0) return filled;
    }
    const char* start = read_buffer_.data() + read_position_;
    size_t available = std::min(buffered(), limit - stored);
    const void* end = std::memchr(start, terminator_, available);
    size_t count = end ? static_cast<size_t>(static_cast<const char*>(end) - start) + 1 : available;
    std::memcpy(buffer + stored, start, count);
    read_position_ += count;
    stored += count;
    if (end) return static_cast<int>(stored);
  }
  return maximum;
}

int MailSocket::WaitReadOrError(int seconds, int microseconds) {
  return WaitEvent(seconds, microseconds, kWaitRead | kWaitError);
}

int MailSocket::WaitRead(int seconds, int microseconds) {
  return WaitEvent(seconds, microseconds, kWaitRead);
}

int MailSocket::WaitWrite(int seconds, int microseconds) {
  return WaitEvent(seconds, microseconds, kWaitWrite);
}

int MailSocket::WaitError(int seconds, int microseconds) {
  return WaitEvent(seconds, microseconds, kWaitError);
}

int MailSocket::WaitEvent(int seconds, int microseconds, int mask) {
  if (!connected_) return 0;
  // Bytes already read ahead are data the caller has not seen yet.
  if ((mask & kWaitRead) && buffered() > 0) return 1;

  pollfd entry{};
  entry.fd = socket_;
  if (mask & kWaitRead) entry.events |= POLLIN;
  if (mask & kWaitWrite) entry.events |= POLLOUT;
  if (mask & kWaitError) entry.events |= POLLPRI;

  using Clock = std::chrono::steady_clock;
  const int limit = PollMilliseconds(seconds, microseconds);
  const auto deadline = Clock::now() + std::chrono::milliseconds(limit < 0 ? 0 : limit);
  for (;;) {
    int remaining = limit;
    if (limit >= 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      remaining = left < 0 ? 0 : static_cast<int>(left);
    }
    int result = poll(&entry, 1, remaining);
    if (result < 0 && errno == EINTR) continue;
    if (result < 0) return -errno;
    if (result == 0) return 0;
    if (entry.revents & POLLNVAL) return -EBADF;
    // Count the ready sets the way select would: a closed or failed
    // connection is readable and writable, and counts as an error condition.
    const bool broken = entry.revents & (POLLERR | POLLHUP);
    int ready = 0;
    if ((mask & kWaitRead) && (broken || (entry.revents & POLLIN))) ++ready;
    if ((mask & kWaitWrite) && (broken || (entry.revents & POLLOUT))) ++ready;
    if ((mask & kWaitError) && (broken || (entry.revents & POLLPRI))) ++ready;
    return ready;
  }
}

}  // namespace quor
