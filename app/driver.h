// The printer application's one driver, "quillfern": what the printer
// offers over IPP, and the callbacks that print through the conversion
// core.
#ifndef QUILLFERN_APP_DRIVER_H_
#define QUILLFERN_APP_DRIVER_H_

#include <pappl/pappl.h>

namespace quillfern {

constexpr char kDriverName[] = "quillfern";
constexpr char kMakeAndModel[] = "Quillfern JBIG Page Printer";
// The printer's own format: a stream as the CUPS filter writes it.
constexpr char kPrintStreamFormat[] = "application/vnd.quillfern-print-stream";

// PAPPL's driver callback: fills `data` for `driver_name` and adds the
// vendor attributes to `*attrs`.
bool QuillfernDriver(pappl_system_t* system, const char* driver_name, const char* device_uri,
                     const char* device_id, pappl_pr_driver_data_t* data, ipp_t** attrs,
                     void* context);

}  // namespace quillfern

#endif  // QUILLFERN_APP_DRIVER_H_
