#include "message/mailbox_address.h"

namespace quor {

std::string MailboxAddress(const std::string& text) {
  size_t open = text.find('<');
  if (open != std::string::npos) {
    size_t close = text.find('>', open + 1);
    if (close != std::string::npos) return text.substr(open + 1, close - open - 1);
  }
  size_t paren = text.find('(');
  if (paren != std::string::npos) {
    std::string before = text.substr(0, paren);
    while (!before.empty() && before.back() == ' ') before.pop_back();
    return before;
  }
  return text;
}

std::vector<std::string> SplitRecipients(const std::string& list) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) {
      pieces.push_back(list.substr(start));
      break;
    }
    pieces.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return pieces;
}

}  // namespace quor
