# Installs libtyq.so, the binary-stable headers, the tyq tool, a CMake package
# (find_package(tyq) gives the target tyq::tyq) and a pkg-config file. Both
# package files find the installed tree from where they lie, so any
# `cmake --install --prefix` works and the tree may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS tyq EXPORT tyqTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS tyq_app RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Hosts build against the binary-stable interface alone. The internal access
# interface is tied to this compiler and standard library; it is installed
# apart, on request (cmake --install <build> --component tyq_internal), into
# include/tyq-internal, which a program adds to its include path beside
# include. A new header is internal until listed here.
set(TYQ_STABLE_HEADERS api.h api_values.h export.h version.h)
list(TRANSFORM TYQ_STABLE_HEADERS PREPEND ${PROJECT_SOURCE_DIR}/include/tyq/)
file(GLOB TYQ_INTERNAL_HEADERS ${PROJECT_SOURCE_DIR}/include/tyq/*.h)
list(REMOVE_ITEM TYQ_INTERNAL_HEADERS ${TYQ_STABLE_HEADERS})
install(FILES ${TYQ_STABLE_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tyq)
install(FILES ${TYQ_INTERNAL_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tyq-internal/tyq
        COMPONENT tyq_internal EXCLUDE_FROM_ALL)
install(EXPORT tyqTargets NAMESPACE tyq:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tyq)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tyqConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/tyqConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tyq)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tyqConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tyqConfig.cmake ${PROJECT_BINARY_DIR}/tyqConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tyq)

if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  # Directories chosen as absolute paths stay where they were put.
  set(TYQ_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(TYQ_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(TYQ_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH TYQ_PC_UP "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" TYQ_PC_UP "${TYQ_PC_UP}")
  set(TYQ_PC_PREFIX "\${pcfiledir}/${TYQ_PC_UP}")
  set(TYQ_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(TYQ_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tyq.pc.in ${PROJECT_BINARY_DIR}/tyq.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tyq.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
