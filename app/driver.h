// The printer application's one driver, "quillfern" (kDriverName,
// app/driver_facts.h): what the printer offers over IPP, read from the PPD
// built in (app/driver_choices.h), and the callbacks that print through
// the conversion core (app/job_callbacks.h, app/job_raw.h).
#ifndef QUILLFERN_APP_DRIVER_H_
#define QUILLFERN_APP_DRIVER_H_

#include <pappl/pappl.h>

namespace quillfern {

// The application's icon, a page printer drawn in black, as PNG files of
// 48, 128 and 512 pixels, and drawn light for the web interface's dark
// navigation bar (made from app/icons at build time).
extern const unsigned char kIconSmall[], kIconMedium[], kIconLarge[], kIconNavigation[];
extern const unsigned long kIconSmallSize, kIconMediumSize, kIconLargeSize, kIconNavigationSize;

// PAPPL's driver callback: fills `data` for `driver_name` and adds the
// vendor attributes to `*attrs`.
bool QuillfernDriver(pappl_system_t* system, const char* driver_name, const char* device_uri,
                     const char* device_id, pappl_pr_driver_data_t* data, ipp_t** attrs,
                     void* context);

}  // namespace quillfern

#endif  // QUILLFERN_APP_DRIVER_H_
