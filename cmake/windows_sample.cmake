# windows_sample.cmake - the sample host directory as the Windows zip holds
# it: every text file with Windows line ends (CR LF), as a Windows editor
# writes them; a binary file (one holding a NUL byte, as system/inf.sys)
# byte for byte. Run as a script at build time:
#   cmake -DFROM=examples/bbs -DTO=DIR -P windows_sample.cmake

file(REMOVE_RECURSE ${TO})
file(GLOB_RECURSE files RELATIVE ${FROM} ${FROM}/*)
foreach(name ${files})
  get_filename_component(dir ${TO}/${name} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  file(READ ${FROM}/${name} hex HEX)
  string(REGEX MATCH "^(..)*00" binary "${hex}")
  if(binary)
    file(COPY ${FROM}/${name} DESTINATION ${dir})
  else()
    file(READ ${FROM}/${name} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${TO}/${name} "${text}")
  endif()
endforeach()
