#pragma once
// Names of mail servers as users write them, turned into addresses and ports.
//
// A server text is a host name or dotted address, optionally followed by
// ":port" (digits after the last colon), which then replaces the service's
// port: "pop.example.org", "127.0.0.1:1110".

#include <cstdint>
#include <string>

namespace quor {

// IPv4 address in network byte order, or 0xFFFFFFFF (-1) for an empty name or
// a failed lookup. A name starting with a digit is a dotted address.
uint32_t ResolveHost(const std::string& name);
// Port in network byte order, or -1 for an empty name or a failed lookup.
// Digits are a port; a name comes from the services database ("pop3", "smtp").
int ResolveService(const std::string& name);
// This machine's host name, or "localhost" when it cannot be read.
std::string LocalHostName();

// Splits a server text into the host and the port text after the last colon
// when that is all digits; otherwise the port text is empty.
void SplitHostPort(const std::string& text, std::string& host, std::string& port);

}  // namespace quor
