# Installs the client library into a fresh prefix, then configures, builds and runs the consumer
# project against it twice: with the Core component alone, and with all three. Variables: BUILD_DIR, CONSUMER_DIR, WORK_DIR, GENERATOR, CXX_COMPILER,
# CXX_FLAGS, LINKER_FLAGS.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
  endif()
  message(STATUS "${out}")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component virelo_client --prefix ${WORK_DIR}/prefix)
# The Core component alone, with PkgConfig out of reach: it must not look for libxkbcommon or xcb.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/core -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
    -DVIRELO_CORE_ONLY=ON -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/core)
run(${WORK_DIR}/core/consumer)
# All three components.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)
file(REMOVE_RECURSE ${WORK_DIR})
