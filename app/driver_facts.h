// What the printer is and takes, beyond the choices its PPD lists
// (app/driver_choices.h): the driver's name, its make and model, its own
// document format, its unmarked border and its feed edges.
#ifndef QUILLFERN_APP_DRIVER_FACTS_H_
#define QUILLFERN_APP_DRIVER_FACTS_H_

namespace quillfern {

constexpr char kDriverName[] = "quillfern";
constexpr char kMakeAndModel[] = "Quillfern JBIG Page Printer";
constexpr char kDeviceId[] = "MFG:Quillfern;MDL:JBIG Page Printer;";
// The printer's own format: a stream as the CUPS filter writes it.
constexpr char kPrintStreamFormat[] = "application/vnd.quillfern-print-stream";

// The margins the printer is advertised with, in hundredths of millimetres.
// Its bitmap is the whole sheet (the PPD says HWMargins 0 0 0 0, and the
// raster is made for the whole sheet), but its engine leaves a border of
// 1/6 inch unmarked and cannot print to the edge: clients that lay out
// pages must keep to the area inside it, and offer no borderless sizes.
constexpr int kUnmarkedBorder = 423;  // 4.23 mm

// The feed edge, the vendor attribute for the PPD's FeedEdge (0 and 1, in
// this order; the first is the default): A5 fed by its short edge is
// printed turned.
constexpr char kFeedEdge[] = "feed-edge";
constexpr const char* kFeedEdges[] = {"long-edge", "short-edge"};

}  // namespace quillfern

#endif  // QUILLFERN_APP_DRIVER_FACTS_H_
