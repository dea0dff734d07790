#pragma once
// A message to be sent: filled by the send and forward actions, composed by
// MessageComposer and handed to an SMTP server by the engine's delivery.

#include <string>
#include <vector>

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
  // Files sent as attachments, in order; none gives a single-part message.
  std::vector<std::string> attachments;
};

}  // namespace quor
