#include "app/system_avahi.h"

#include <avahi-client/client.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>

#include <atomic>
#include <chrono>

namespace quillfern {

namespace {

// Written by the client's thread, read by the timer's.
std::atomic<bool> running{false};
std::atomic<bool> failed{false};
std::atomic<bool> disconnected{false};

AvahiThreadedPoll* poll = nullptr;
AvahiClient* client = nullptr;
std::chrono::steady_clock::time_point lastAttempt;
// What the timer last saw: reached, and whether it was lost since.
bool wasRunning = false;
bool lostWhileRunning = false;
// No client could be made (no D-Bus) since the daemon was last reached.
bool clientMissed = false;

constexpr auto kRetryInterval = std::chrono::seconds(3);

// avahi's client callback, on the poll's thread (and once inside
// avahi_client_new, on the timer's).
void OnClientState(AvahiClient* c, AvahiClientState state, void*) {
  if (state == AVAHI_CLIENT_S_RUNNING) {
    running = true;
  } else if (state == AVAHI_CLIENT_FAILURE) {
    running = false;
    disconnected = avahi_client_errno(c) == AVAHI_ERR_DISCONNECTED;
    failed = true;
  } else if (state == AVAHI_CLIENT_CONNECTING) {
    running = false;
  }
}

void DropClient() {
  if (poll != nullptr) avahi_threaded_poll_stop(poll);
  if (client != nullptr) avahi_client_free(client);
  if (poll != nullptr) avahi_threaded_poll_free(poll);
  client = nullptr;
  poll = nullptr;
  running = false;
  failed = false;
}

// A client that waits for the daemon (AVAHI_CLIENT_NO_FAIL) when D-Bus is
// there; none when D-Bus is not, tried again later.
void MakeClient() {
  lastAttempt = std::chrono::steady_clock::now();
  poll = avahi_threaded_poll_new();
  if (poll == nullptr) return;
  int error = 0;
  client = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL, OnClientState,
                            nullptr, &error);
  if (client == nullptr || avahi_threaded_poll_start(poll) < 0) {
    DropClient();
    clientMissed = true;
  }
}

}  // namespace

AvahiChange LookAtAvahi() {
  if (failed) {
    if (disconnected && wasRunning) lostWhileRunning = true;
    DropClient();
    wasRunning = false;
  }
  if (client == nullptr && std::chrono::steady_clock::now() - lastAttempt >= kRetryInterval) {
    MakeClient();
  }
  const bool now = running;
  if (!now && wasRunning) lostWhileRunning = true;
  AvahiChange change = AvahiChange::kNone;
  if (now && !wasRunning) {
    if (lostWhileRunning) {
      change = AvahiChange::kReturned;
    } else if (clientMissed) {
      change = AvahiChange::kReachable;
    }
    lostWhileRunning = false;
    clientMissed = false;
  }
  wasRunning = now;
  return change;
}

bool AvahiRunning() {
  return running;
}

}  // namespace quillfern
