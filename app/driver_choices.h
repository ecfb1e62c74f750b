// What the printer offers, read once from the PPD built into the
// application: its sizes (with their dimensions), trays, media types and
// resolutions, each under the PPD's name and the name IPP clients use.
// The driver advertises them and jobs are mapped back through them, so the
// application keeps no list of its own.
#ifndef QUILLFERN_APP_DRIVER_CHOICES_H_
#define QUILLFERN_APP_DRIVER_CHOICES_H_

#include <string>
#include <vector>

namespace quillfern {

// How far a size may be from one of the printer's and still be that size,
// in hundredths of a millimetre.
constexpr int kSizeTolerance = 100;

struct PrinterChoice {
  std::string ppd;  // the PPD's choice, what the filter sends ("A4", "MainTray")
  std::string pwg;  // the IPP keyword ("iso_a4_210x297mm", "main")
  int width = 0;    // sizes only: hundredths of a millimetre
  int length = 0;
};

struct PrinterChoices {
  std::vector<PrinterChoice> sizes;    // in the PPD's order
  std::vector<PrinterChoice> sources;  // InputSlot
  std::vector<PrinterChoice> types;    // MediaType
  std::vector<int> resolutions;        // dots per inch, square, ascending
  std::string defaultSize;             // PWG names of the PPD's defaults
  std::string defaultSource;
  std::string defaultType;
  int defaultResolution = 0;
};

// Reads the choices from the PPD text.  False, with the reason, when the
// PPD cannot be read or names a choice without an IPP name.
bool ReadPrinterChoices(const char* ppdText, PrinterChoices* choices, std::string* problem);

// The choices of the PPD built into the application, read on first use.
const PrinterChoices& BuiltInChoices();

// The printer's size for a job's PWG media name: by name, else by its
// dimensions within a millimetre (CUPS names sizes "custom_195x270mm_..."
// or by aliases), or null when the printer has no such size.
const PrinterChoice* SizeFor(const PrinterChoices& choices, const std::string& pwgName);

// The printer's resolution for `dpi`: the highest it has that is not
// above, else its lowest.
int PrinterResolution(const PrinterChoices& choices, int dpi);

// The choice with this PWG name, or null.
const PrinterChoice* ChoiceFor(const std::vector<PrinterChoice>& list, const std::string& pwg);

}  // namespace quillfern

#endif  // QUILLFERN_APP_DRIVER_CHOICES_H_
