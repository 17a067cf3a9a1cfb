# Shared compile settings for the project's own code.

add_library(vexel_options INTERFACE)
target_compile_options(vexel_options INTERFACE -Wall -Wextra -Werror -Wno-unused-parameter)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 at -O3 reports inlined std::string and std::vector copies as overlapping or out of
  # bounds (known false positives); the sanitizer build checks bounds for real.
  target_compile_options(vexel_options INTERFACE -Wno-restrict -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
endif()
target_include_directories(vexel_options INTERFACE ${CMAKE_SOURCE_DIR}/src)

if(VEXEL_SANITIZE)
  set(VEXEL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${VEXEL_SANITIZER_FLAGS})
  add_link_options(${VEXEL_SANITIZER_FLAGS})
endif()

# vexel_subsystem(NAME SOURCES... [DEPS lib...]): one static library per src/ folder. Dependencies
# are private: a library's users see its public header and nothing of what it is built on (SDL2
# and libepoxy stay inside the platform library); static linking still brings them in.
function(vexel_subsystem name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_SOURCES)
    add_library(vexel_${name} STATIC ${ARG_SOURCES})
    target_link_libraries(vexel_${name} PUBLIC vexel_options PRIVATE ${ARG_DEPS})
  else()
    add_library(vexel_${name} INTERFACE)
    target_link_libraries(vexel_${name} INTERFACE vexel_options ${ARG_DEPS})
  endif()
endfunction()
