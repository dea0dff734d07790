#pragma once
// Addresses as users and messages write them: "Ann Lee <ann@example.org>",
// "ann@example.org (Ann Lee)", lists separated by commas. What the SMTP
// envelope and the header lines of an outgoing message are made of.
// Plain functions over their arguments.

#include <string>
#include <vector>

namespace quor {

// The bare address of a mailbox text: between '<' and '>', else the text
// before '(' without trailing spaces, else the text unchanged.
std::string MailboxAddress(const std::string& text);

// The pieces of a comma-separated recipient list, each as written (blanks
// kept). A trailing comma adds nothing; an empty piece between two commas is
// kept (and will be refused by the server).
std::vector<std::string> SplitRecipients(const std::string& list);

}  // namespace quor
