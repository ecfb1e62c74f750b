// The state file (StateFile(), app/system_paths.h): the printers, their
// settings and their jobs, as PAPPL writes them, and the DNS-SD names the
// application keeps unadvertised (app/state_dnssd_names.h), on lines PAPPL
// is never given.
#ifndef QUILLFERN_APP_STATE_FILE_H_
#define QUILLFERN_APP_STATE_FILE_H_

#include <pappl/pappl.h>

#include <string>

namespace quillfern {

// Writes the state file now (PAPPL writes it only when its main loop next
// wakes): a job that starts is on record as processing, so that a crash at
// any moment of it is found at the next start.  The state is written
// beside the file and renamed over it, so that a crash while saving leaves
// the last whole state.  PAPPL reads the system, its printers and their
// jobs under their locks (for reading): never call it while this thread
// holds one of them for writing, as PAPPL does around a printer deletion's
// event callback.  The timer (app/system_stop.h), which PAPPL runs
// under the system's read lock, may: glibc lets a reader in again.
bool SaveStateNow(pappl_system_t* system);

// Loads the state file into `system` (which is not running yet), without
// the application's own lines and as `adjust` changes it, and returns the
// file's text ("" when there is none).
std::string LoadStateFile(pappl_system_t* system, std::string (*adjust)(const std::string&));

// PAPPL's save callback: SaveStateNow.
bool SaveState(pappl_system_t* system, void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_STATE_FILE_H_
