#include "base/secret_text.h"

namespace quor {

std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets) {
  static const std::string kMask = "********";
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    for (size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + kMask.size())) {
      text.replace(at, secret.size(), kMask);
    }
  }
  return text;
}

}  // namespace quor
