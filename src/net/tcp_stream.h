#pragma once
// A TCP connection to a mail server, as a ByteStream.
//
// The socket stays in blocking mode (programs started by actions never
// inherit it: it is close-on-exec), but every receive and send is done
// without blocking and every wait is a poll bounded by the caller's
// deadline, so no read or write can hold a thread longer than allowed.
// Sends never raise SIGPIPE: a peer that went away gives -EPIPE.
// One thread at a time.

#include <memory>
#include <string>
#include <vector>

#include "net/byte_stream.h"
#include "net/host_lookup.h"

namespace quor {

class TcpStream : public ByteStream {
 public:
  static constexpr int kDefaultConnectWaitSeconds = 30;

  // Resolves the server text ("host", "host:port", "[IPv6]:port", see
  // host_lookup.h) and the service ("pop3", "smtp" or digits) and connects
  // to the first of the host's addresses that accepts. 1 with `stream` set;
  // -1 when a lookup failed; else the -errno of the last failed attempt.
  static int Connect(const std::string& host, const std::string& service,
                     std::unique_ptr<TcpStream>& stream,
                     int connect_wait_seconds = kDefaultConnectWaitSeconds);
  // Tries the addresses in order until one accepts, each for at most
  // `connect_wait_seconds`: an address that cannot be reached (an IPv6
  // address without an IPv6 route, a host that drops the connection
  // attempt) then costs that long at most before the next is tried. 1 with
  // `stream` set; -1 for no addresses; else -errno of the last attempt.
  static int Connect(const std::vector<NetworkAddress>& addresses,
                     std::unique_ptr<TcpStream>& stream,
                     int connect_wait_seconds = kDefaultConnectWaitSeconds);

  // Adopts a connected socket; closes it when destroyed.
  explicit TcpStream(int handle);
  ~TcpStream() override;
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  int Read(char* buffer, size_t size, Deadline deadline) override;
  bool HasInput() override;
  int Write(const char* data, size_t length, Deadline deadline) override;
  void Close() override;
  bool is_open() const override { return handle_ >= 0; }

  int handle() const { return handle_; }
  // True when the connection goes to this machine itself (127.0.0.0/8, ::1).
  bool peer_on_loopback() const override { return peer_on_loopback_; }

 private:
  // Waits for `events` (POLLIN, POLLOUT) until the deadline: 1 ready, 0 time
  // out, -errno.
  int Wait(short events, Deadline deadline);

  int handle_ = -1;
  bool peer_on_loopback_ = false;
};

}  // namespace quor
