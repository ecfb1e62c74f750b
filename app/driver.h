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

// The margins the printer is advertised with, in hundredths of millimetres.
// Its bitmap is the whole sheet (the PPD says HWMargins 0 0 0 0, and the
// raster is made for the whole sheet), but its engine leaves a border of
// 1/6 inch unmarked and cannot print to the edge: clients that lay out
// pages must keep to the area inside it, and offer no borderless sizes.
constexpr int kUnmarkedBorder = 423;  // 4.23 mm

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
