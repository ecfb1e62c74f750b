# Writes OUTPUT, a C++ source holding the text of the PPD at INPUT, so that
# the printer application carries the very PPD the filter's queues use.
file(READ ${INPUT} text)
file(WRITE ${OUTPUT}
  "// Made at build time from the driver's PPD; do not edit.\n"
  "namespace quillfern {\n"
  "extern const char kDriverPpd[] = R\"QUILLFERN_PPD(${text})QUILLFERN_PPD\";\n"
  "}  // namespace quillfern\n")
