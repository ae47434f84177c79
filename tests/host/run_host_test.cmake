# Installs the build into a scratch prefix, builds the host programs with
# clang++ against it, and runs them. Fails on any step.
set(prefix ${BUILD_DIR}/host-test/prefix)
set(hostBuild ${BUILD_DIR}/host-test/build)
file(REMOVE_RECURSE ${BUILD_DIR}/host-test)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/host -B ${hostBuild} -G Ninja
    -DCMAKE_CXX_COMPILER=${CLANGXX} -DCMAKE_PREFIX_PATH=${prefix}
    -DTYQ_EXAMPLE_SOURCE=${SOURCE_DIR}/examples/read_write_example.cpp)
run(${CMAKE_COMMAND} --build ${hostBuild})
run(${hostBuild}/host_check ${BUILD_DIR}/host-test/check.vbs)
run(${hostBuild}/host_example ${BUILD_DIR}/host-test/example.vbs)
# pkg-config finds the same library.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(pkg-config --exists tyq)
