# Installs only the Python module under a scratch prefix and imports it from
# there with a fresh interpreter.
set(prefix ${BUILD_DIR}/python-install-test)
file(REMOVE_RECURSE ${prefix})
if(IS_ABSOLUTE "${SITE}")
  message(STATUS "module installs to the absolute ${SITE}; not installed by this test")
  return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component python
                        --prefix ${prefix} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installing the python component failed (${rc})")
endif()
set(ENV{PYTHONPATH} ${prefix}/${SITE})
execute_process(COMMAND ${PYTHON} -c "import tyq; print(tyq.__file__)"
                RESULT_VARIABLE rc OUTPUT_VARIABLE where OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR NOT where MATCHES "^${prefix}/")
  message(FATAL_ERROR "tyq imported from \"${where}\" (${rc}), not from ${prefix}")
endif()
