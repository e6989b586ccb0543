# qrencode.cmake - libqrencode for a Windows build, whose cross compilers
# come with no build of it: compiled here from Debian's own source of it
# (tools/setup windows fetches it to /usr/local/src/qrencode), as the DLL
# libqrencode.dll that filter-otp.exe loads from beside itself. A DLL, so
# that the zip keeps the library apart as its licence, the LGPL 2.1, asks:
# the zip carries the licence and that source beside it (packaging.cmake).

set(FILTER_QRENCODE_SOURCE /usr/local/src/qrencode CACHE PATH "libqrencode's sources, built for the target")
if(NOT EXISTS ${FILTER_QRENCODE_SOURCE}/qrencode.h)
  message(FATAL_ERROR "libqrencode's source is not in ${FILTER_QRENCODE_SOURCE}: run tools/setup windows "
    "(it fetches Debian's source of qrencode), or give -DFILTER_QRENCODE_SOURCE=DIR")
endif()
file(STRINGS ${FILTER_QRENCODE_SOURCE}/CMakeLists.txt qrencode_project REGEX "^project\\(QRencode VERSION")
string(REGEX REPLACE ".*VERSION ([0-9]+)\\.([0-9]+)\\.([0-9]+).*" "\\1;\\2;\\3" qrencode_version "${qrencode_project}")
list(LENGTH qrencode_version qrencode_parts)
if(NOT qrencode_parts EQUAL 3)
  message(FATAL_ERROR "${FILTER_QRENCODE_SOURCE}/CMakeLists.txt names no version of QRencode")
endif()
list(GET qrencode_version 0 QRENCODE_MAJOR)
list(GET qrencode_version 1 QRENCODE_MINOR)
list(GET qrencode_version 2 QRENCODE_MICRO)
set(QRENCODE_VERSION ${QRENCODE_MAJOR}.${QRENCODE_MINOR}.${QRENCODE_MICRO})

# The library's own sources, as its CMakeLists lists them; its tools and
# tests are not built.
set(QRENCODE_SOURCES qrencode.c qrinput.c bitstream.c qrspec.c rsecc.c split.c mask.c mqrspec.c mmask.c)
list(TRANSFORM QRENCODE_SOURCES PREPEND ${FILTER_QRENCODE_SOURCE}/)
add_library(qrencode SHARED ${QRENCODE_SOURCES})
set_target_properties(qrencode PROPERTIES C_VISIBILITY_PRESET default)
target_include_directories(qrencode PUBLIC ${FILTER_QRENCODE_SOURCE})
# The defines its CMakeLists sets: no threads (filter-otp draws one code at a
# time), no PNG or SDL, its inner functions static.
target_compile_definitions(qrencode PRIVATE MAJOR_VERSION=${QRENCODE_MAJOR} MINOR_VERSION=${QRENCODE_MINOR}
  MICRO_VERSION=${QRENCODE_MICRO} VERSION="${QRENCODE_VERSION}" HAVE_SDL=0 HAVE_STRDUP=1 STATIC_IN_RELEASE=static)
# Its code is not ours to change: its warnings are its own.
target_compile_options(qrencode PRIVATE -w)
target_link_options(qrencode PRIVATE -static-libgcc)
install(TARGETS qrencode RUNTIME DESTINATION ${FILTER_TOOL_INSTALL_DIR})

# The licence and the source, for the zip.
file(GLOB QRENCODE_TARBALL ${FILTER_QRENCODE_SOURCE}/../qrencode_${QRENCODE_VERSION}.orig.tar.*)
install(FILES ${FILTER_QRENCODE_SOURCE}/COPYING DESTINATION licenses RENAME libqrencode-COPYING.txt)
if(QRENCODE_TARBALL)
  install(FILES ${QRENCODE_TARBALL} DESTINATION licenses)
endif()
