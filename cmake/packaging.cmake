# packaging.cmake - what "cmake --install" puts where, and the package that
# "cmake --build DIR --target package" makes of it (CPack):
#   c_filt32-VERSION-win32.zip, -win64.zip   the DLL, the tools, READ-ME-FIRST.txt,
#                                            the sysop's pages as HTML (and their
#                                            pictures), the sample BBS with Windows
#                                            line ends, libqrencode's licence and
#                                            source (licenses\)
#   c_filt32-VERSION-linux-x86_64.tar.gz     the module, the tools, their manual
#                                            pages, the HTML pages, the sample BBS
# and SHA256SUMS beside the package. The programs' own install rules are in
# release.cmake.

# The sysop's pages, rendered to HTML with pandoc; links between them follow.
# A page gives its commands for Windows and for Linux in sections marked
# "<!-- windows -->" and "<!-- linux -->" (each ended by "<!-- /windows -->",
# "<!-- /linux -->"): each package's pages keep its own system's sections
# only (cmake/md_links.lua), so that a Windows sysop reads commands for cmd.exe.
set(FILTER_SYSOP_PAGES
  ${PROJECT_SOURCE_DIR}/docs/guide.md
  ${PROJECT_SOURCE_DIR}/docs/files.md
  ${PROJECT_SOURCE_DIR}/docs/access-methods.md
  ${PROJECT_SOURCE_DIR}/docs/errors.md
  ${PROJECT_SOURCE_DIR}/docs/security.md
  ${PROJECT_SOURCE_DIR}/docs/tools.md
  ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
set(FILTER_SYSOP_PICTURES
  ${PROJECT_SOURCE_DIR}/docs/report-sample.png)

if(WIN32)
  set(FILTER_DOC_INSTALL_DIR docs)
  set(FILTER_SAMPLE_INSTALL_DIR sample)
  set(FILTER_PAGES_PLATFORM windows)
else()
  set(FILTER_PAGES_PLATFORM linux)
  set(FILTER_DOC_INSTALL_DIR ${CMAKE_INSTALL_DOCDIR})
  set(FILTER_SAMPLE_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/c_filt32/sample)
endif()

find_program(PANDOC pandoc)
if(PANDOC)
  set(html_pages)
  foreach(page ${FILTER_SYSOP_PAGES})
    get_filename_component(name ${page} NAME_WE)
    set(html ${CMAKE_BINARY_DIR}/html/${name}.html)
    add_custom_command(OUTPUT ${html}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/html
      COMMAND ${PANDOC} --standalone --from gfm --to html5 --metadata pagetitle=${name}
              --metadata platform=${FILTER_PAGES_PLATFORM}
              --lua-filter ${PROJECT_SOURCE_DIR}/cmake/md_links.lua -o ${html} ${page}
      DEPENDS ${page} ${PROJECT_SOURCE_DIR}/cmake/md_links.lua
      COMMENT "Rendering ${name}.html")
    list(APPEND html_pages ${html})
  endforeach()
  add_custom_target(sysop_pages ALL DEPENDS ${html_pages})
  install(FILES ${html_pages} DESTINATION ${FILTER_DOC_INSTALL_DIR})
  # The pictures the pages show, beside them.
  install(FILES ${FILTER_SYSOP_PICTURES} DESTINATION ${FILTER_DOC_INSTALL_DIR})
else()
  # A package without the pages would leave the sysop without the guide.
  install(CODE "message(FATAL_ERROR \"the sysop's pages need pandoc: run tools/setup release, then configure again\")")
endif()

if(WIN32)
  # The Windows zip's sample has Windows line ends; the Windows tests use this copy too.
  file(GLOB_RECURSE sample_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/bbs/*)
  set(FILTER_WINDOWS_SAMPLE ${CMAKE_BINARY_DIR}/sample)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/sample.stamp
    COMMAND ${CMAKE_COMMAND} -DFROM=${PROJECT_SOURCE_DIR}/examples/bbs -DTO=${FILTER_WINDOWS_SAMPLE}
            -P ${PROJECT_SOURCE_DIR}/cmake/windows_sample.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/sample.stamp
    DEPENDS ${sample_files} ${PROJECT_SOURCE_DIR}/cmake/windows_sample.cmake
    COMMENT "The sample with Windows line ends")
  add_custom_target(windows_sample ALL DEPENDS ${CMAKE_BINARY_DIR}/sample.stamp)
  install(DIRECTORY ${FILTER_WINDOWS_SAMPLE}/ DESTINATION ${FILTER_SAMPLE_INSTALL_DIR})
else()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/bbs/ DESTINATION ${FILTER_SAMPLE_INSTALL_DIR})
endif()

if(WIN32)
  # Notepad of older Windows shows a text with Unix line ends as one line.
  configure_file(${PROJECT_SOURCE_DIR}/docs/READ-ME-FIRST.txt.in ${CMAKE_BINARY_DIR}/READ-ME-FIRST.txt
    @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/READ-ME-FIRST.txt DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(FILTER_PACKAGE_PLATFORM win32)
  else()
    set(FILTER_PACKAGE_PLATFORM win64)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  set(FILTER_PACKAGE_PLATFORM linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_PACKAGE_NAME c_filt32)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME c_filt32-${PROJECT_VERSION}-${FILTER_PACKAGE_PLATFORM})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# The sysop gets the programs without their debugging symbols; the resources
# and the module's version section stay.
set(CPACK_STRIP_FILES ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/checksums.cmake)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
