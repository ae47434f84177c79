# Installs libtyq.so, the public headers, the tyq tool, a CMake package
# (find_package(tyq) gives the target tyq::tyq) and a pkg-config file. Both
# package files find the installed tree from where they lie, so any
# `cmake --install --prefix` works and the tree may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS tyq EXPORT tyqTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS tyq_app RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tyq DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
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
