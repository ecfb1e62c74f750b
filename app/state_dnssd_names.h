// DNS-SD names the server keeps without advertising them.  A server that
// listens on loopback only advertises nothing (no other host could reach
// what it offered), so it clears the DNS-SD names of the system and its
// printers; the names it cleared are kept here and written into the state
// file, on lines of their own that PAPPL never reads, so that sharing the
// printers again brings back the names they had.
#ifndef QUILLFERN_APP_STATE_DNSSD_NAMES_H_
#define QUILLFERN_APP_STATE_DNSSD_NAMES_H_

#include <map>
#include <string>

namespace quillfern {

// The directive of those lines: "QuillfernHiddenDNSSDName ID NAME", where
// ID is a printer's id, or 0 for the system.
constexpr char kHiddenNameDirective[] = "QuillfernHiddenDNSSDName";
constexpr int kSystemNameId = 0;

// The names kept: printer id (or kSystemNameId) to name.
using HiddenNames = std::map<int, std::string>;

// Keeps `name` for the printer `id` (or the system), replacing any before.
void KeepHiddenName(int id, const std::string& name);

// The names kept now (a copy: PAPPL's threads save while the timer hides).
HiddenNames KeptHiddenNames();

// Forgets every name kept.
void ForgetHiddenNames();

// The state file's lines for `names`.
std::string HiddenNameLines(const HiddenNames& names);

// The names on such lines of `stateText`.
HiddenNames ReadHiddenNames(const std::string& stateText);

// `stateText` without those lines: what PAPPL reads.
std::string WithoutHiddenNames(const std::string& stateText);

}  // namespace quillfern

#endif  // QUILLFERN_APP_STATE_DNSSD_NAMES_H_
