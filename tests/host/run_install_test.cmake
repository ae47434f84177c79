# Installs the build under two prefixes, then moves one of them, and checks
# each time that the tool runs from the tree and that pkg-config points into
# that tree; with LINK_CHECK, also compiles and runs a program against it with
# the flags pkg-config gives. Fails on any step.
set(root ${BUILD_DIR}/install-test)
file(REMOVE_RECURSE ${root})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

function(check_tree prefix)
  run(${prefix}/bin/tyq version)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run(pkg-config --variable=includedir tyq)
  if(NOT EXISTS "${output}/tyq/api.h")
    message(FATAL_ERROR "pkg-config includedir ${output} is not inside ${prefix}")
  endif()
  # Only the binary-stable interface is installed unless asked for.
  if(EXISTS "${output}/tyq/tyq.h" OR EXISTS "${output}/tyq-internal")
    message(FATAL_ERROR "internal headers installed into ${output} by default")
  endif()
  run(pkg-config --variable=libdir tyq)
  if(NOT EXISTS "${output}/libtyq.so")
    message(FATAL_ERROR "pkg-config libdir ${output} is not inside ${prefix}")
  endif()
  if(LINK_CHECK)
    run(pkg-config --cflags --libs tyq)
    separate_arguments(flags UNIX_COMMAND "${output}")
    file(WRITE ${root}/version.cpp
         "#include <cstdio>\n#include \"tyq/version.h\"\n"
         "int main() { std::puts(Qra::Ostrel::Tyq::versionString()); }\n")
    run(${CXX} -std=c++20 ${root}/version.cpp -o ${root}/version ${flags})
    set(ENV{LD_LIBRARY_PATH} ${prefix}/${LIBDIR})
    run(${root}/version)
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${root}/first)
check_tree(${root}/first)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${root}/internal --component tyq_internal)
if(NOT EXISTS "${root}/internal/include/tyq-internal/tyq/tyq.h" OR
   EXISTS "${root}/internal/include/tyq/api.h")
  message(FATAL_ERROR "the internal headers are not installed apart")
endif()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${root}/second)
check_tree(${root}/second)
file(RENAME ${root}/second ${root}/moved)
check_tree(${root}/moved)
