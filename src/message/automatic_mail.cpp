#include "message/automatic_mail.h"

#include <string>

#include "message/mailbox_address.h"

namespace quor {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The first word of a field value in lower case: "Auto-Replied; x=y (z)"
// gives "auto-replied".
std::string FirstWord(std::string_view value) {
  std::string word;
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  for (; i < value.size(); ++i) {
    const char c = value[i];
    if (IsBlank(c) || c == ';' || c == '(') break;
    word.push_back(Lower(c));
  }
  return word;
}

std::string BareAddress(std::string_view text) {
  std::string address = MailboxAddress(std::string(text));
  size_t start = 0;
  while (start < address.size() && IsBlank(address[start])) ++start;
  size_t end = address.size();
  while (end > start && IsBlank(address[end - 1])) --end;
  std::string bare;
  for (size_t i = start; i < end; ++i) bare.push_back(Lower(address[i]));
  return bare;
}

bool ListHolds(std::string_view list, const std::string& address) {
  if (address.empty()) return false;
  for (const std::string& piece : SplitRecipients(std::string(list))) {
    if (BareAddress(piece) == address) return true;
  }
  return false;
}

}  // namespace

bool IsAutomaticMessage(const MailMessage& message) {
  if (message.auto_submitted && FirstWord(*message.auto_submitted) != "no") return true;
  if (message.precedence) {
    const std::string precedence = FirstWord(*message.precedence);
    if (precedence == "bulk" || precedence == "junk" || precedence == "list") return true;
  }
  if (message.list_id) return true;
  if (message.return_path) {
    std::string path;
    for (char c : *message.return_path) {
      if (!IsBlank(c)) path.push_back(c);
    }
    if (path == "<>") return true;
  }
  return false;
}

bool AddressesSender(const MailMessage& incoming, std::string_view to, std::string_view cc) {
  // Without either field the accessors give a placeholder, not an address.
  if (!incoming.unfolded.from && !incoming.unfolded.reply_to) return false;
  for (std::string_view field :
       {incoming.Sender(HeaderLines::kUnfolded), incoming.ReplyAddress(HeaderLines::kUnfolded)}) {
    const std::string address = BareAddress(field);
    if (ListHolds(to, address) || ListHolds(cc, address)) return true;
  }
  return false;
}

}  // namespace quor
