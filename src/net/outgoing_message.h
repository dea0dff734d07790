#pragma once
// A message to be sent: filled by the send and forward actions for one
// SmtpClient::SendMessage call.

#include <string>

namespace quor {

struct OutgoingMessage {
  std::string sender;        // required: MAIL FROM and the From header
  std::string reply_to;      // may be empty
  std::string to;            // required: comma-separated recipient list
  std::string subject;       // may be empty
  std::string body;          // sent as it is (line ends made CR LF on the wire)
  std::string cc;            // comma-separated, may be empty
  std::string sender_name;   // display name for From, may be empty
  std::string organization;  // may be empty
};

}  // namespace quor
