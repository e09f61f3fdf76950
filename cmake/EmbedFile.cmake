# Writes a file's bytes as a C++ array, for a program that must carry the file inside itself:
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -DNAMESPACE=<ns> -P EmbedFile.cmake
# defines `const unsigned char <name>[]` and `const std::size_t <name>Size` in namespace <ns>.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUTPUT}.new
     "// Generated at build time from ${INPUT} by cmake/EmbedFile.cmake.\n"
     "#include <cstddef>\n"
     "namespace ${NAMESPACE} {\n"
     "extern const unsigned char ${SYMBOL}[];\n"
     "extern const std::size_t ${SYMBOL}Size;\n"
     "const unsigned char ${SYMBOL}[] = {${bytes}};\n"
     "const std::size_t ${SYMBOL}Size = ${size};\n"
     "}\n")
file(RENAME ${OUTPUT}.new ${OUTPUT})
