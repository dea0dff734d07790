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

#include "net/byte_stream.h"

namespace quor {

class TcpStream : public ByteStream {
 public:
  // Resolves the server text ("host" or "host:port", see host_lookup.h) and
  // the service ("pop3", "smtp" or digits) and connects. 1 with `stream`
  // set; -1 when no socket could be made or a lookup failed; -errno of a
  // failed connect.
  static int Connect(const std::string& host, const std::string& service,
                     std::unique_ptr<TcpStream>& stream);

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

 private:
  // Waits for `events` (POLLIN, POLLOUT) until the deadline: 1 ready, 0 time
  // out, -errno.
  int Wait(short events, Deadline deadline);

  int handle_ = -1;
};

}  // namespace quor
