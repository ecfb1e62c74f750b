#include "app/state_dnssd_names.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

// The hidden names survive a save and a load whatever they contain, and
// PAPPL is given every line of its own back, and none of the
// application's: a name with spaces, a printer whose name starts like the
// directive, lines that only look like the application's.
TEST(StateDnssdNamesTest, HiddenNamesRoundTripAndPapplKeepsItsLines) {
  const HiddenNames names = {{kSystemNameId, "quillfern-printer-app"},
                             {3, "Quill Office (2nd floor)"},
                             {12, "QuillfernHiddenDNSSDName 4 x"}};
  const std::string pappl =
      "DNSSDName quillfern-printer-app\n"
      "<Printer id=\"3\" name=\"office\">\n"
      "DNSSDName QuillfernHiddenDNSSDName\n"
      "</Printer>\n"
      "QuillfernHiddenDNSSDNameX 3 y\n"
      "QuillfernHiddenDNSSDName three y\n";
  const std::string saved = pappl + HiddenNameLines(names);
  EXPECT_EQ(ReadHiddenNames(saved), names);
  EXPECT_EQ(WithoutHiddenNames(saved), pappl);
  // A name that would end its line early is not written.
  EXPECT_EQ(HiddenNameLines({{5, "two\nlines"}}), "");
}

}  // namespace
