#pragma once
// The configuration in use, shared between the front end's thread (Setup,
// Reset, saving) and a pass on the worker thread.
//
// Every access copies under a mutex held only for the copy: a pass works on
// a snapshot taken at its start and writes back only the last-message
// markers, so a pass never sees a list being replaced, and Setup or Reset
// never wait for a pass. Accounts carry ids that are not stored in any file;
// a marker that a pass moves finds its account by id, also after Setup has
// replaced the list with edited copies.

#include <cstdint>
#include <mutex>
#include <string>

#include "config/configuration.h"

namespace quor {

class ConfigurationStore {
 public:
  // The configuration read at start-up; every account gets an id.
  void Load(Configuration configuration);
  // Setup's OK: installs edited copies. An account keeps the marker the
  // store holds now for its id (a pass may have moved it while the sheet
  // was open); accounts without a known id are new and get one.
  void Install(Configuration edited);

  // Copies, for a pass, the setup sheet and saving.
  Configuration Snapshot() const;
  Settings settings() const;

  // Writes a marker found by a pass into the account with that id, if it is
  // still there.
  void StoreMarker(uint64_t account_id, const std::string& marker);
  // Reset: empties every last-message marker.
  void ClearMarkers();

 private:
  mutable std::mutex mutex_;
  Configuration configuration_;
  uint64_t next_account_id_ = 1;
};

}  // namespace quor
