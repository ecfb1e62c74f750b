// Whether avahi-daemon, which advertises the printers on DNS-SD, is there:
// a client of the application's own that follows the daemon through
// D-Bus, beside PAPPL's.  PAPPL 1.3.1's client cannot follow the daemon
// (app/system_dnssd.h says what the application does about it); this one
// is made again whenever it fails.
#ifndef QUILLFERN_APP_SYSTEM_AVAHI_H_
#define QUILLFERN_APP_SYSTEM_AVAHI_H_

namespace quillfern {

// What became of avahi-daemon since the last look.
enum class AvahiChange {
  kNone,
  // It runs now, and D-Bus was missing before: a client that could not be
  // made then (PAPPL's) must be made now.  (A client made while D-Bus was
  // there waits for the daemon by itself.)
  kReachable,
  // It runs again after it went away while it was reached: clients made
  // before (PAPPL's) lost it for good.
  kReturned,
};

// Looks at the daemon (makes the watching client when there is none, at
// most every few seconds) and says what changed.  Called from one thread
// (the server's timer).
AvahiChange LookAtAvahi();

// True while the daemon is reached.
bool AvahiRunning();

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_AVAHI_H_
