#pragma once
// Mail that a program sent rather than a person, and replies that would go
// back to it: two answering programs must not mail each other for ever.
// Pure functions over their arguments; any thread.

#include <string_view>

#include "message/mail_message.h"

namespace quor {

// True when the message's own header block marks it as automatic: an
// Auto-Submitted field with a value other than "no", a Precedence of "bulk",
// "junk" or "list", a List-Id field, or an empty Return-Path ("<>", which
// only bounces and other automatic mail carry). Letter case and comments
// after the value do not matter.
bool IsAutomaticMessage(const MailMessage& message);

// True when a message to the comma-separated lists `to` and `cc` would reach
// the incoming message's sender (From, else Reply-To) or its reply address
// (Reply-To, else From): the bare addresses are compared without regard to
// letter case, folded header lines included.
bool AddressesSender(const MailMessage& incoming, std::string_view to, std::string_view cc);

}  // namespace quor
