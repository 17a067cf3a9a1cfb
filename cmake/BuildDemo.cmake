# Builds the bundled game the way a user builds a game: mkdata makes a working folder (the engine's
# data files, the placeholders and the game's generated assets), the game's own sources from demo/
# (projects, brains, visuals, the project list) are copied in, `vexel ground build` makes the
# ground maps, and the game builder (`vexel build`) makes the finished game, which becomes OUT.
#   cmake -DMKDATA=... -DVEXEL=... -DENGINE=... -DSOURCE=demo -DWORK=... -DOUT=... -P BuildDemo.cmake
foreach(variable MKDATA VEXEL ENGINE SOURCE WORK OUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "BuildDemo.cmake needs -D${variable}=...")
  endif()
endforeach()
# The tools may be sanitizer builds; their leak report is not a build failure.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")

file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${MKDATA} --demo ${WORK} COMMAND_ERROR_IS_FATAL ANY)
file(COPY ${SOURCE}/ DESTINATION ${WORK})
foreach(ground hills canyon)
  execute_process(COMMAND ${VEXEL} ground build grndmaps/${ground}.3ds
                  WORKING_DIRECTORY ${WORK} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND ${VEXEL} build --list multilev/ringrun.mlv --title "Ring Run" --engine ${ENGINE}
                WORKING_DIRECTORY ${WORK} OUTPUT_VARIABLE progress RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The game builder could not build every sub-project of the bundled game:\n${progress}")
endif()
file(REMOVE_RECURSE ${OUT})
file(RENAME ${WORK}/vexelexe ${OUT})
