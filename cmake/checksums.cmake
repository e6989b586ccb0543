# checksums.cmake - run by CPack after it made the packages: SHA256SUMS beside
# them, in the form "sha256sum -c SHA256SUMS" reads. Packages already listed
# there (made by another build into the same folder) keep their lines.
set(sums ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS)
set(lines)
if(EXISTS ${sums})
  file(STRINGS ${sums} lines)
endif()
foreach(package ${CPACK_PACKAGE_FILES})
  get_filename_component(name ${package} NAME)
  file(SHA256 ${package} hash)
  list(FILTER lines EXCLUDE REGEX "  ${name}$")
  list(APPEND lines "${hash}  ${name}")
endforeach()
list(SORT lines COMPARE STRING)
list(JOIN lines "\n" text)
file(WRITE ${sums} "${text}\n")
