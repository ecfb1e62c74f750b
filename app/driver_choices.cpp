#include "app/driver_choices.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <cups/cups.h>
#include <cups/ppd.h>

#include <cstdlib>
#include <cstring>

#include "app/system_paths.h"
#include "core/ppd_file.h"

namespace quillfern {

extern const char kDriverPpd[];

namespace {

constexpr char kPwgNameAttribute[] = "quillfernPwgName";

int HundredthsOfMillimetre(float points) {
  return static_cast<int>(points * 2540.0f / 72.0f + 0.5f);
}

bool SameSize(int width, int length, const PrinterChoice& size) {
  return abs(width - size.width) <= kSizeTolerance && abs(length - size.length) <= kSizeTolerance;
}

// The IPP name the PPD declares for "Option.Choice", or empty.
std::string DeclaredName(ppd_file_t* ppd, const char* option, const char* choice) {
  const std::string optionChoice = std::string(option) + "." + choice;
  ppd_attr_t* attr = ppdFindAttr(ppd, kPwgNameAttribute, optionChoice.c_str());
  return attr != nullptr && attr->value != nullptr ? attr->value : "";
}

// A size's IPP name: declared in the PPD, else CUPS's name for the PPD
// name or for the dimensions, when it is a standard size of that size.
std::string SizeName(ppd_file_t* ppd, const PrinterChoice& size) {
  std::string declared = DeclaredName(ppd, "PageSize", size.ppd.c_str());
  if (!declared.empty()) return declared;
  pwg_media_t* byName = pwgMediaForPPD(size.ppd.c_str());
  if (byName != nullptr && SameSize(byName->width, byName->length, size)) return byName->pwg;
  pwg_media_t* bySize = pwgMediaForSize(size.width, size.length);
  if (bySize != nullptr && strncmp(bySize->pwg, "custom_", 7) != 0) return bySize->pwg;
  return "";
}

bool ReadSizes(ppd_file_t* ppd, PrinterChoices* choices, std::string* problem) {
  for (int i = 0; i < ppd->num_sizes; ++i) {
    PrinterChoice size;
    size.ppd = ppd->sizes[i].name;
    size.width = HundredthsOfMillimetre(ppd->sizes[i].width);
    size.length = HundredthsOfMillimetre(ppd->sizes[i].length);
    size.pwg = SizeName(ppd, size);
    if (size.pwg.empty()) {
      *problem = "the PPD's size " + size.ppd + " has no IPP name";
      return false;
    }
    choices->sizes.push_back(size);
  }
  if (choices->sizes.empty()) {
    *problem = "the PPD has no sizes";
    return false;
  }
  return true;
}

bool ReadOption(ppd_file_t* ppd, const char* name, std::vector<PrinterChoice>* list,
                std::string* problem) {
  ppd_option_t* option = ppdFindOption(ppd, name);
  if (option == nullptr) {
    *problem = std::string("the PPD has no ") + name;
    return false;
  }
  for (int i = 0; i < option->num_choices; ++i) {
    PrinterChoice choice;
    choice.ppd = option->choices[i].choice;
    choice.pwg = DeclaredName(ppd, name, choice.ppd.c_str());
    if (choice.pwg.empty()) {
      *problem = std::string("the PPD's ") + name + " " + choice.ppd + " has no IPP name";
      return false;
    }
    list->push_back(choice);
  }
  return true;
}

bool ReadResolutions(ppd_file_t* ppd, PrinterChoices* choices, std::string* problem) {
  ppd_option_t* option = ppdFindOption(ppd, "Resolution");
  for (int i = 0; option != nullptr && i < option->num_choices; ++i) {
    const int dpi = atoi(option->choices[i].choice);
    if (dpi <= 0) continue;
    choices->resolutions.push_back(dpi);
    if (strcmp(option->choices[i].choice, option->defchoice) == 0) choices->defaultResolution = dpi;
  }
  if (choices->resolutions.empty() || choices->defaultResolution == 0) {
    *problem = "the PPD has no resolution";
    return false;
  }
  return true;
}

// The PWG name of the PPD's default choice of `option` in `list`.
std::string DefaultOf(ppd_file_t* ppd, const char* option, const std::vector<PrinterChoice>& list) {
  ppd_option_t* found = ppdFindOption(ppd, option);
  for (const PrinterChoice& choice : list) {
    if (found != nullptr && choice.ppd == found->defchoice) return choice.pwg;
  }
  return list.empty() ? "" : list.front().pwg;
}

}  // namespace

bool ReadPrinterChoices(const char* ppdText, PrinterChoices* choices, std::string* problem) {
  UniquePpd ppd = OpenPpdText(ppdText);
  if (!ppd) {
    *problem = "the PPD cannot be read";
    return false;
  }
  if (!ReadSizes(ppd.get(), choices, problem) ||
      !ReadOption(ppd.get(), "InputSlot", &choices->sources, problem) ||
      !ReadOption(ppd.get(), "MediaType", &choices->types, problem) ||
      !ReadResolutions(ppd.get(), choices, problem)) {
    return false;
  }
  choices->defaultSize = DefaultOf(ppd.get(), "PageSize", choices->sizes);
  choices->defaultSource = DefaultOf(ppd.get(), "InputSlot", choices->sources);
  choices->defaultType = DefaultOf(ppd.get(), "MediaType", choices->types);
  return true;
}

const PrinterChoices& BuiltInChoices() {
  static const PrinterChoices choices = [] {
    PrinterChoices read;
    std::string problem;
    if (!ReadPrinterChoices(kDriverPpd, &read, &problem)) {
      fprintf(stderr, "%s: %s\n", kProgramName, problem.c_str());
      return PrinterChoices();
    }
    return read;
  }();
  return choices;
}

int PrinterResolution(const PrinterChoices& choices, int dpi) {
  int chosen = choices.resolutions.empty() ? dpi : choices.resolutions.front();
  for (int resolution : choices.resolutions) {
    if (resolution <= dpi) chosen = resolution;
  }
  return chosen;
}

const PrinterChoice* ChoiceFor(const std::vector<PrinterChoice>& list, const std::string& pwg) {
  for (const PrinterChoice& choice : list) {
    if (choice.pwg == pwg) return &choice;
  }
  return nullptr;
}

const PrinterChoice* SizeFor(const PrinterChoices& choices, const std::string& pwgName) {
  if (const PrinterChoice* named = ChoiceFor(choices.sizes, pwgName)) return named;
  pwg_media_t* media = pwgMediaForPWG(pwgName.c_str());
  if (media == nullptr) return nullptr;
  for (const PrinterChoice& size : choices.sizes) {
    if (SameSize(media->width, media->length, size)) return &size;
  }
  return nullptr;
}

}  // namespace quillfern

#pragma GCC diagnostic pop
