#include "app/system_dnssd.h"

#include <set>
#include <thread>

#include "app/state_dnssd_names.h"
#include "app/system_avahi.h"

namespace quillfern {

namespace {

bool sharedOnNetwork = true;
// The printers registered: those of the state, which PAPPL registers when
// it starts, and those the timer has registered since.
std::set<int> seenPrinters;

std::string PrinterName(pappl_printer_t* printer) {
  char name[256] = "";
  return papplPrinterGetDNSSDName(printer, name, sizeof name) != nullptr ? name : "";
}

std::string SystemName(pappl_system_t* system) {
  char name[256] = "";
  return papplSystemGetDNSSDName(system, name, sizeof name) != nullptr ? name : "";
}

// Keeps the printer's name and clears it, which withdraws it.
void HidePrinter(pappl_printer_t* printer, void*) {
  const std::string name = PrinterName(printer);
  if (name.empty()) return;
  KeepHiddenName(papplPrinterGetID(printer), name);
  papplPrinterSetDNSSDName(printer, nullptr);
}

// Sets the printer's name again: PAPPL registers it (and makes its avahi
// client first when it has none).
void RegisterPrinterAgain(pappl_printer_t* printer, void*) {
  const std::string name = PrinterName(printer);
  if (!name.empty()) papplPrinterSetDNSSDName(printer, name.c_str());
}

void RegisterNewPrinter(pappl_printer_t* printer, void*) {
  if (seenPrinters.insert(papplPrinterGetID(printer)).second) RegisterPrinterAgain(printer, nullptr);
}

void NoteLoadedPrinter(pappl_printer_t* printer, void*) {
  seenPrinters.insert(papplPrinterGetID(printer));
}

}  // namespace

bool ListensOnNetwork(const std::string& hostname) {
  return hostname != "localhost" && hostname != "127.0.0.1" && hostname != "::1" &&
         hostname != "[::1]" && hostname != "localhost.";
}

void PrepareAdvertising(pappl_system_t* system, bool shared, const std::string& stateText) {
  sharedOnNetwork = shared;
  const HiddenNames hidden = ReadHiddenNames(stateText);
  if (!shared) {
    // Names hidden before stay kept, whether or not the state still names
    // the printer's DNS-SD name.
    for (const auto& [id, name] : hidden) KeepHiddenName(id, name);
    const std::string name = SystemName(system);
    if (!name.empty()) {
      KeepHiddenName(kSystemNameId, name);
      papplSystemSetDNSSDName(system, nullptr);
    }
    papplSystemIteratePrinters(system, HidePrinter, nullptr);
    return;
  }
  ForgetHiddenNames();
  papplSystemIteratePrinters(system, NoteLoadedPrinter, nullptr);
  for (const auto& [id, name] : hidden) {
    if (id == kSystemNameId) {
      papplSystemSetDNSSDName(system, name.c_str());
    } else if (pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr)) {
      papplPrinterSetDNSSDName(printer, name.c_str());
    }
  }
}

bool KeepAdvertising(pappl_system_t* system) {
  if (!sharedOnNetwork) {
    // A printer added (or renamed) since is hidden as well.
    papplSystemIteratePrinters(system, HidePrinter, nullptr);
    return false;
  }
  papplSystemIteratePrinters(system, RegisterNewPrinter, nullptr);
  switch (LookAtAvahi()) {
    case AvahiChange::kNone:
      return false;
    case AvahiChange::kReachable: {
      papplSystemIteratePrinters(system, RegisterPrinterAgain, nullptr);
      // The system's setter takes the system's lock for writing, which
      // the timer holds for reading: a thread of its own waits for it.
      const std::string name = SystemName(system);
      if (!name.empty()) {
        std::thread([system, name] { papplSystemSetDNSSDName(system, name.c_str()); }).detach();
      }
      return false;
    }
    case AvahiChange::kReturned:
      return true;
  }
  return false;
}

}  // namespace quillfern
