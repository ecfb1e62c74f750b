// Each printer's login: the name and password the printer takes with every
// job (AuthID and AuthPassword).  A printer's login is a small JSON file of
// the same form as the filter's authentication file, readable by the
// server's user only, in the application's state directory:
// STATE/logins/PRINTER.json.  It is never an IPP attribute and never logged.
#ifndef QUILLFERN_APP_STATE_LOGINS_H_
#define QUILLFERN_APP_STATE_LOGINS_H_

#include <string>

namespace quillfern {

// The file of `printer`'s login under `stateDirectory` (the printer's name
// with every byte but letters, digits, "-", "_" and "." written %XX).
std::string LoginPath(const std::string& stateDirectory, const std::string& printer);

// Sets `printer`'s login: written beside the file and renamed over it, mode
// 0600, owned by the owner of `stateDirectory` (the server's user, also
// when root runs the command).  Returns empty, or why it was refused: a
// name or password longer than the printer takes (127 bytes) or with a
// control character, or an error of the file system.
std::string SaveLogin(const std::string& stateDirectory, const std::string& printer,
                      const std::string& name, const std::string& password);

// Removes `printer`'s login; true when there is none left.
bool RemoveLogin(const std::string& stateDirectory, const std::string& printer);

// The login stored for `printer`; false when it has none.  The password is
// read only to keep it when the administrator changes just the name.
bool ReadLogin(const std::string& stateDirectory, const std::string& printer, std::string* name,
               std::string* password);

}  // namespace quillfern

#endif  // QUILLFERN_APP_STATE_LOGINS_H_
