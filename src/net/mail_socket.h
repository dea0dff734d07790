#pragma once
// One TCP connection to a mail server. Owns the socket; reads lines through a
// read-ahead buffer so that a retrieval costs one system call per buffer, not
// per byte, while keeping the results of a byte-by-byte reader: nothing read
// ahead is ever lost between calls, and the waits report "ready" at once while
// buffered bytes remain.
//
// Results are plain integers: negative values are minus the platform's errno.
// Nothing here throws or logs. One thread at a time per object.
//
// Waits use poll, so any descriptor number works. Sends never raise SIGPIPE: a
// peer that went away gives -EPIPE.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quor {

class MailSocket {
 public:
  // Flag bit: switch the socket to non-blocking mode after connecting.
  static constexpr uint32_t kNonBlocking = 1;

  // terminator: the byte that ends a line for ReceiveLine (the clients pass '\n').
  MailSocket(uint32_t flags, char terminator);
  virtual ~MailSocket();
  MailSocket(const MailSocket&) = delete;
  MailSocket& operator=(const MailSocket&) = delete;

  // Shuts down and closes a held socket. Always 1.
  virtual int Close();
  // Copies up to size available bytes without removing them; 0 or -errno.
  virtual int PeekData(char* buffer, int size);
  // One receive: bytes received (0 = peer closed or would block), or -errno.
  virtual int ReceiveData(char* buffer, int size);
  // Sends the whole buffer: length, or -errno.
  virtual int SendData(const char* data, int length);
  // Stores bytes up to and including the terminator, at most maximum bytes.
  // Returns the count stored, 0 when the peer closed before the line ended,
  // or -errno. Adds no NUL.
  virtual int ReceiveLine(char* buffer, int maximum);
  // Wait for an event with a time limit (seconds < 0: none). Positive when
  // ready, 0 on time-out or when not connected, negative on failure.
  virtual int WaitReadOrError(int seconds, int microseconds);
  virtual int WaitRead(int seconds, int microseconds);
  virtual int WaitWrite(int seconds, int microseconds);
  virtual int WaitError(int seconds, int microseconds);

  bool connected() const { return connected_; }
  int socket_handle() const { return socket_; }
  // Bytes already read from the connection and not yet handed out.
  size_t buffered() const { return read_end_ - read_position_; }

  // The longest a receive waits for the next bytes once it has started
  // (ReceiveLine, ReceiveData, PeekData): a peer that falls silent in the
  // middle of a line then gives -ETIMEDOUT instead of blocking for ever.
  // 0 or negative: no limit (the default). Applies to the current socket and
  // to every later one.
  void set_receive_time_limit(int seconds);
  int receive_time_limit() const { return receive_time_limit_; }

 protected:
  int WaitEvent(int seconds, int microseconds, int mask);
  // For ClientSocket: adopt a freshly created socket / mark it connected.
  void AdoptSocket(int handle);
  void SetConnected(bool connected) { connected_ = connected; }

  uint32_t flags_;

 private:
  // One receive into the read-ahead buffer: bytes read, 0 when the peer
  // closed, or -errno.
  int FillReadBuffer();
  void ApplyReceiveTimeLimit();

  static constexpr size_t kReadAheadSize = 64 * 1024;

  int receive_time_limit_ = 0;
  bool connected_ = false;
  int socket_ = -1;
  char terminator_;
  std::vector<char> read_buffer_;
  size_t read_position_ = 0;
  size_t read_end_ = 0;
};

}  // namespace quor
