# cmake -DFONT_DIR=<dir> -DFONTS=<name:size,...> -DOUTPUT=<file.cpp> -P EmbedFonts.cmake
# Writes a C++ source that holds the font files as byte arrays and defines BuiltInFont().
string(REPLACE "," ";" font_entries "${FONTS}")

set(body "")
set(table "")
set(index 0)
foreach(entry ${font_entries})
    string(REPLACE ":" ";" parts ${entry})
    list(GET parts 0 name)
    list(GET parts 1 expected_size)
    set(file ${FONT_DIR}/${name})
    file(SIZE ${file} size)
    if(NOT size EQUAL expected_size)
        message(FATAL_ERROR "${file}: ${size} bytes, expected ${expected_size}")
    endif()
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # 16 bytes per line keeps the generated file readable in a debugger.
    string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
    string(APPEND body "// ${name}\nconst std::uint8_t kFont${index}[${size}] = {\n    ${bytes}\n};\n\n")
    string(APPEND table "    case ${index}:\n        return kFont${index};\n")
    math(EXPR index "${index} + 1")
endforeach()

set(content "// Generated from the font files at build time; do not edit.
#include \"preview/Fonts.h\"

namespace {

${body}}  // namespace

// A switch rather than a table of spans: a table of addresses would need relocating at load
// time and so could not stay in read-only memory.
std::span<const std::uint8_t> BuiltInFont(int index) {
    switch (index) {
${table}    default:
        return {};
    }
}
")
file(WRITE ${OUTPUT} "${content}")
