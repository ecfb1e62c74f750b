#include "app/job_connection.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

// A state file from before the application's own scheme: its printers on
// socket: devices move to the scheme, quoted or not, and nothing else of
// the file changes (a job or another printer naming socket: elsewhere).
TEST(JobConnectionTest, EarlierStateMovesOnlyPrintersSocketDevices) {
  const std::string before =
      "DNSSDName socket://not-a-device\n"
      "<Printer did=\"x\" driver=\"quillfern\" id=\"1\" name=\"a\" uri=\"socket://10.0.0.5:9100\">\n"
      "Location socket://10.0.0.5\n"
      "</Printer>\n"
      "<Printer driver=quillfern id=2 name=b uri=socket://[fd51::5]>\n"
      "<Printer driver=\"quillfern\" id=\"3\" name=\"c\" uri=\"file:///tmp/socket://x\">\n"
      "<Printer driver=\"quillfern\" id=\"4\" name=\"d\" uri=\"quillfern-socket://h\">";
  const std::string after =
      "DNSSDName socket://not-a-device\n"
      "<Printer did=\"x\" driver=\"quillfern\" id=\"1\" name=\"a\" "
      "uri=\"quillfern-socket://10.0.0.5:9100\">\n"
      "Location socket://10.0.0.5\n"
      "</Printer>\n"
      "<Printer driver=quillfern id=2 name=b uri=quillfern-socket://[fd51::5]>\n"
      "<Printer driver=\"quillfern\" id=\"3\" name=\"c\" uri=\"file:///tmp/socket://x\">\n"
      "<Printer driver=\"quillfern\" id=\"4\" name=\"d\" uri=\"quillfern-socket://h\">";
  EXPECT_EQ(WithOwnNetworkUris(before), after);
  EXPECT_EQ(OwnNetworkUri("socket://h:9101"), "quillfern-socket://h:9101");
  EXPECT_EQ(OwnNetworkUri("usb://x/y"), "usb://x/y");
}

}  // namespace
