# Installs libtyq.so, the public headers, a CMake package (find_package(tyq)
# gives the target tyq::tyq) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS tyq EXPORT tyqTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tyq DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT tyqTargets NAMESPACE tyq:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tyq)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tyqConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/tyqConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tyq)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tyqConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tyqConfig.cmake ${PROJECT_BINARY_DIR}/tyqConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tyq)

configure_file(${PROJECT_SOURCE_DIR}/cmake/tyq.pc.in ${PROJECT_BINARY_DIR}/tyq.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tyq.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
