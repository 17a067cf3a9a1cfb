# Layering check, run as a test:  cmake -DROOT=<source dir> -P cmake/CheckLayers.cmake
#
# Every #include "folder/file.h" of the project's own headers is checked against two rules:
#  1. A subsystem folder of src/ includes only the subsystems below it (the table below; the
#     order is the one the README's layout table gives).
#  2. Code outside a subsystem includes only its public header, src/<name>/<name>.h; the other
#     headers of a folder are its internals. The tests of a subsystem (tests/<name>/) may reach
#     its internals, and nothing else's.
# Prints every wrong include with its file and line and fails when there is one.

cmake_minimum_required(VERSION 3.25)

set(layers core platform model brain engine net builder state instructions app launcher cli)
set(below_core "")
set(below_platform core)
set(below_model core)
set(below_brain core model)
set(below_engine core platform model)
set(below_net core)
set(below_builder core model brain)
set(below_state core platform model brain engine net)
set(below_instructions core model brain engine net state)
set(below_app core platform model brain engine net builder state instructions)
set(below_launcher core platform)
set(below_cli core platform model brain engine net builder state instructions app)

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source dir> -P CheckLayers.cmake")
endif()

set(problems 0)
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/tests/*.h ${ROOT}/tests/*.cpp
     ${ROOT}/bench/*.h ${ROOT}/bench/*.cpp ${ROOT}/fuzz/*.h ${ROOT}/fuzz/*.cpp ${ROOT}/tools/*.h ${ROOT}/tools/*.cpp)
foreach(source IN LISTS sources)
  # Where the file lives: a subsystem of src/, the tests of one, or outside code (bench, fuzz, tools).
  set(home "")
  set(testsOf "")
  if(source MATCHES "^src/([a-z_]+)/")
    set(home ${CMAKE_MATCH_1})
  elseif(source MATCHES "^tests/([a-z_]+)/")
    set(testsOf ${CMAKE_MATCH_1})
  endif()
  file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "#[ \t]*include[ \t]*\"([a-z_]+)/([a-z_0-9]+)\\.h\"")
      continue()
    endif()
    set(folder ${CMAKE_MATCH_1})
    set(header ${CMAKE_MATCH_2})
    list(FIND layers ${folder} known)
    if(known EQUAL -1 OR folder STREQUAL home)
      continue()  # not a subsystem (tests' support, tools), or the folder's own header
    endif()
    if(home AND NOT folder IN_LIST below_${home})
      message("${source}: ${home} may not include ${folder}/${header}.h: ${folder} is not below ${home}")
      math(EXPR problems "${problems} + 1")
    elseif(NOT header STREQUAL folder AND NOT folder STREQUAL testsOf)
      message("${source}: ${folder}/${header}.h is internal to src/${folder}/; include ${folder}/${folder}.h")
      math(EXPR problems "${problems} + 1")
    endif()
  endforeach()
endforeach()

if(problems GREATER 0)
  message(FATAL_ERROR "layering check: ${problems} wrong include(s)")
endif()
list(LENGTH sources count)
message("layering check: ${count} files, every include allowed")
