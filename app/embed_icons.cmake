# Writes OUTPUT, a C++ source holding the PNG files SMALL, MEDIUM, LARGE and
# NAV (the navigation bar's) as byte arrays, so that the printer application carries its icons.
function(embed name path)
  file(READ ${path} hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
         bytes "${bytes}")
  file(APPEND ${OUTPUT}
    "extern const unsigned char ${name}[] = {\n${bytes}};\n"
    "extern const unsigned long ${name}Size = ${size};\n")
endfunction()

file(WRITE ${OUTPUT} "// Made at build time from app/icons; do not edit.\nnamespace quillfern {\n")
embed(kIconSmall ${SMALL})
embed(kIconMedium ${MEDIUM})
embed(kIconLarge ${LARGE})
embed(kIconNavigation ${NAV})
file(APPEND ${OUTPUT} "}  // namespace quillfern\n")
