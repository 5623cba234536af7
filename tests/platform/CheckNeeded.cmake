# Fails when the ELF file FILE needs a shared library whose name matches
# FORBIDDEN (a regular expression): the programs that must run without a
# display may not gain a widget library through some link line.
#   cmake -DREADELF=readelf -DFILE=prog -DFORBIDDEN=libQt6Widgets -P CheckNeeded.cmake
execute_process(COMMAND ${READELF} -d ${FILE}
                OUTPUT_VARIABLE dynamic ERROR_VARIABLE problem RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${READELF} -d ${FILE} failed: ${problem}")
endif()

string(REPLACE "\n" ";" lines "${dynamic}")
set(needed "")
foreach(line IN LISTS lines)
  if(line MATCHES "\\(NEEDED\\).*\\[(.*)\\]")
    list(APPEND needed "${CMAKE_MATCH_1}")
  endif()
endforeach()
# A program with no NEEDED entry at all means the output was not understood.
if(NOT needed)
  message(FATAL_ERROR "${FILE}: no NEEDED entries found in:\n${dynamic}")
endif()

set(forbidden "")
foreach(library IN LISTS needed)
  if(library MATCHES "${FORBIDDEN}")
    list(APPEND forbidden "${library}")
  endif()
endforeach()
if(forbidden)
  message(FATAL_ERROR "${FILE} needs ${forbidden}; it must not link ${FORBIDDEN}")
endif()
message(STATUS "${FILE} needs: ${needed}")
