#pragma once
// Keeps passwords out of the log: a server's reply may repeat what it was
// sent (a password, or the Base64 login that carries it), and such a reply
// is logged.

#include <string>
#include <vector>

namespace quor {

// The text with every occurrence of each non-empty secret replaced by
// "********".
std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets);

}  // namespace quor
