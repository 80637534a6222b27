# Writes the compiled catalogue MO as the C++ source OUT: the bytes of kCzechCatalogue.
#   cmake -DMO=... -DOUT=... -P embed.cmake
file(READ "${MO}" bytes HEX)
string(LENGTH "${bytes}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes
       "${bytes}")
file(WRITE "${OUT}" "// Made from po/cs.po at build time.\n#include <cstddef>\n"
     "extern const unsigned char kCzechCatalogue[] = {\n${bytes}0};\n"
     "extern const std::size_t kCzechCatalogueSize = ${size};\n")
