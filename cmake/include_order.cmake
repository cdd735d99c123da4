# The folders of src/ are ordered by their includes: a folder includes its
# own files and those of the folders below it, never one above it or beside
# it. Run as a test (cmake -DSOURCE_DIR=... -P include_order.cmake); it
# names every include that breaks the order, and a folder missing from the
# order, which must be given its place.

# From the bottom up, one floor a line.
set(KELVORA_FLOORS
  "model"
  "input cells output files"
  "convert"
  "draw output_reader"
  "check png"
  "main preview readback"
)

set(floor 0)
foreach(folders IN LISTS KELVORA_FLOORS)
  string(REPLACE " " ";" folders "${folders}")
  foreach(folder IN LISTS folders)
    set(floor_of_${folder} ${floor})
  endforeach()
  math(EXPR floor "${floor} + 1")
endforeach()

set(faults "")
file(GLOB folders RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*)
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/src/${folder})
    continue()
  endif()
  if(NOT DEFINED floor_of_${folder})
    string(APPEND faults "src/${folder} has no place in the order; give it one in ${CMAKE_CURRENT_LIST_FILE}\n")
    continue()
  endif()
  file(GLOB_RECURSE sources ${SOURCE_DIR}/src/${folder}/*.h ${SOURCE_DIR}/src/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^#include \"[a-z_]+/")
    foreach(include IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" included "${include}")
      file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
      if(NOT DEFINED floor_of_${included})
        string(APPEND faults "${shown}: ${include}: no such folder in the order\n")
      elseif(NOT included STREQUAL folder AND
             NOT floor_of_${included} LESS floor_of_${folder})
        string(APPEND faults "${shown}: ${include}: ${included} is not below ${folder}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "includes against the order of the folders:\n${faults}")
endif()
