# The link's state fields are the meter exchanges' own: code elsewhere learns
# how an exchange ended from its outcome. Fails when any C++ source outside
# meter/ (and these tests) names one of them.
set(fields "GotData|CommState|SerialState|ReplyLines|PckLibrary|BackingUp|NoData")
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/*.cpp ${ROOT}/*.h)
set(found "")
foreach(file ${sources})
  if(file MATCHES "^(meter|tests/meter|build[^/]*)/")
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} lines REGEX "(^|[^A-Za-z0-9_])(${fields})($|[^A-Za-z0-9_])")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    string(APPEND found "\n  ${file}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "The meter link's fields are named outside meter/:${found}")
endif()
