#include "app/configuration_store.h"

#include <algorithm>

namespace quor {

void ConfigurationStore::Load(Configuration configuration) {
  std::lock_guard lock(mutex_);
  for (MailboxAccount& account : configuration.mailboxes) account.id = next_account_id_++;
  configuration_ = std::move(configuration);
}

void ConfigurationStore::Install(Configuration edited) {
  std::lock_guard lock(mutex_);
  const std::vector<MailboxAccount>& live = configuration_.mailboxes;
  for (MailboxAccount& account : edited.mailboxes) {
    auto same = std::find_if(live.begin(), live.end(), [&](const MailboxAccount& candidate) {
      return account.id != 0 && candidate.id == account.id;
    });
    if (same != live.end()) {
      account.last_message = same->last_message;
    } else {
      account.id = next_account_id_++;
    }
  }
  configuration_ = std::move(edited);
}

Configuration ConfigurationStore::Snapshot() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}

Settings ConfigurationStore::settings() const {
  std::lock_guard lock(mutex_);
  return configuration_.settings;
}

void ConfigurationStore::StoreMarker(uint64_t account_id, const std::string& marker) {
  std::lock_guard lock(mutex_);
  for (MailboxAccount& account : configuration_.mailboxes) {
    if (account.id == account_id) account.last_message = marker;
  }
}

void ConfigurationStore::ClearMarkers() {
  std::lock_guard lock(mutex_);
  for (MailboxAccount& account : configuration_.mailboxes) account.last_message.clear();
}

}  // namespace quor
