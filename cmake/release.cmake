# release.cmake - what every shipped program carries: the one version of the
# project (set by project() in the top CMakeLists), a Windows version resource,
# its install rule and, on Linux, its manual page. Packaging is packaging.cmake.
#
# A new tool is one line after its add_executable:
#   filter_release_tool(filter-NAME "what it does, in a few words")
# It then prints the version with tools/shared/tool_version.h, is installed and
# packaged, and needs its manual page man/filter-NAME.1.in (roff; the build
# puts the version in).

include(GNUInstallDirs)
if(WIN32)
  enable_language(RC)
endif()

# On Windows everything sits in one folder, as the host finds its module beside itself.
if(WIN32)
  set(FILTER_TOOL_INSTALL_DIR .)
else()
  set(FILTER_TOOL_INSTALL_DIR ${CMAKE_INSTALL_BINDIR})
endif()

# Where the Linux install puts the module, and the way from the tools to it.
set(FILTER_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/c_filt32)
file(RELATIVE_PATH FILTER_MODULE_FROM_TOOLS /${CMAKE_INSTALL_BINDIR} /${FILTER_MODULE_INSTALL_DIR}/c_filt32.so)

# filter_version_resource - a VERSIONINFO resource naming file as the file
# the build gives, for Explorer's Details tab and the host's logs.
function(filter_version_resource target file type description)
  set(FILE_NAME ${file})
  set(FILE_TYPE ${type})
  set(FILE_DESCRIPTION ${description})
  set(rc ${CMAKE_BINARY_DIR}/version/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# filter_release_tool - a sysop's tool: the version, its resource, install and manual page.
function(filter_release_tool target description)
  target_compile_definitions(${target} PRIVATE FILTER_VERSION="${PROJECT_VERSION}")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  install(TARGETS ${target} RUNTIME DESTINATION ${FILTER_TOOL_INSTALL_DIR})
  set_property(GLOBAL APPEND PROPERTY FILTER_RELEASE_TOOLS ${target})
  if(WIN32)
    filter_version_resource(${target} ${target}.exe VFT_APP "${description}")
  else()
    set(source ${PROJECT_SOURCE_DIR}/man/${target}.1.in)
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "${target} has no manual page: write man/${target}.1.in")
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
    configure_file(${source} ${page} @ONLY)
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endfunction()

# filter_release_module - the module the host loads: its version, readable
# without exporting anything more (a resource on Windows, a section of its
# own on Linux: "readelf -p .filter_version c_filt32.so").
function(filter_release_module target description)
  if(WIN32)
    filter_version_resource(${target} ${target}.dll VFT_DLL "${description}")
    install(TARGETS ${target} RUNTIME DESTINATION . LIBRARY DESTINATION .)
  else()
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/filter/module_version.cpp)
    set_source_files_properties(${PROJECT_SOURCE_DIR}/filter/module_version.cpp
      PROPERTIES COMPILE_DEFINITIONS FILTER_VERSION="${PROJECT_VERSION}")
    install(TARGETS ${target} LIBRARY DESTINATION ${FILTER_MODULE_INSTALL_DIR})
  endif()
endfunction()

