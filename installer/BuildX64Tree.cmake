# Builds TARGETS in the mingw-x64 tree BINARY, configuring it with its preset first (which also
# brings an existing tree up to date with the CMake files).
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} --preset mingw-x64
                OUTPUT_QUIET RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "configuring the mingw-x64 tree ${BINARY} failed")
endif()
string(REPLACE " " ";" TARGETS "${TARGETS}")
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} --target ${TARGETS}
                RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "building ${TARGETS} in ${BINARY} failed")
endif()
