#pragma once
// Names of mail servers as users write them, turned into addresses and ports.
//
// A server text is a host name, a dotted IPv4 address or an IPv6 address,
// optionally followed by ":port", which then replaces the service's port:
// "pop.example.org", "127.0.0.1:1110", "[::1]:995". An IPv6 address with a
// port is written in brackets; one without a port may be written bare
// ("::1").

#include <sys/socket.h>

#include <string>
#include <vector>

namespace quor {

// One address to connect to: an IPv4 or IPv6 socket address with its port.
struct NetworkAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int family() const { return storage.ss_family; }
  // The address as text, without the port: "127.0.0.1", "::1".
  std::string Text() const;
  // True for 127.0.0.0/8, ::1 and IPv4-mapped loopback addresses.
  bool IsLoopback() const;
};

// Every address of the host, IPv6 and IPv4, in the order the resolver
// prefers them, each with `port` (network byte order). An address written
// as such is taken as it is, without a lookup. Empty for an empty name or a
// failed lookup.
std::vector<NetworkAddress> ResolveHostAddresses(const std::string& name, int port);
// Port in network byte order, or -1 for an empty name or a failed lookup.
// Digits are a port; a name comes from the services database ("pop3", "smtp").
int ResolveService(const std::string& name);
// This machine's host name, or "localhost" when it cannot be read.
std::string LocalHostName();

// Splits a server text into the host and the port text. The port is the
// digits after the last colon, or after "]" of a bracketed IPv6 address,
// whose brackets are removed from the host. A bare IPv6 address is all host.
// Without such digits the port text is empty.
void SplitHostPort(const std::string& text, std::string& host, std::string& port);

// True when the host text is an IPv4 or IPv6 address rather than a name.
bool IsAddressLiteral(const std::string& host);

}  // namespace quor
