#pragma once
// The active open of a MailSocket: resolve host and service, connect.
//
// A host text of the form "host:port" (digits after the last colon) connects
// to that port instead of the service's, for servers on other ports.

#include <cstdint>
#include <optional>
#include <string>

#include "net/mail_socket.h"

namespace quor {

// IPv4 address in network byte order, or 0xFFFFFFFF (-1) for an empty name or
// a failed lookup. A name starting with a digit is a dotted address.
uint32_t ResolveHost(const std::string& name);
// Port in network byte order, or -1 for an empty name or a failed lookup.
// Digits are a port; a name comes from the services database ("pop3", "smtp").
int ResolveService(const std::string& name);
// This machine's host name, or "localhost" when it cannot be read.
std::string LocalHostName();

class ClientSocket : public MailSocket {
 public:
  ClientSocket(uint32_t flags, char terminator) : MailSocket(flags, terminator) {}

  // The socket handle (positive) on success, -1 if no socket could be created
  // or a lookup failed, or -errno of the failed connect.
  virtual int Connect(const std::string& host, const std::string& service);

  const std::optional<std::string>& host_name() const { return host_name_; }
  const std::optional<std::string>& service_name() const { return service_name_; }

 private:
  std::optional<std::string> host_name_;
  std::optional<std::string> service_name_;
};

}  // namespace quor
