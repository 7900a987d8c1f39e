# Installs the library the way a host project takes it in: the library and its public headers,
# a CMake package (find_package(nimbo) gives nimbo::nimbo) and a pkg-config file. When the Qt
# adapters are built, they are installed beside it as the package's optional component qt
# (find_package(nimbo COMPONENTS qt) gives nimbo::qt), in an export file of their own.
include(CMakePackageConfigHelpers)

set(NIMBO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/nimbo
    CACHE STRING "Where the CMake package files are installed, relative to the prefix")

install(TARGETS nimbo
  EXPORT nimboTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/nimbo
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development
  FILES_MATCHING PATTERN "*.h"
  PATTERN "qt" EXCLUDE)

install(EXPORT nimboTargets
  NAMESPACE nimbo::
  DESTINATION ${NIMBO_INSTALL_CMAKEDIR}
  COMPONENT Development)

# The Qt adapters: library, headers (include/nimbo/qt/) and nimboQtTargets.cmake, only when built.
if(TARGET nimbo_qt)
  install(TARGETS nimbo_qt
    EXPORT nimboQtTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/nimbo/qt
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/nimbo COMPONENT Development
    FILES_MATCHING PATTERN "*.h")
  install(EXPORT nimboQtTargets
    NAMESPACE nimbo::
    DESTINATION ${NIMBO_INSTALL_CMAKEDIR}
    COMPONENT Development)
endif()

get_target_property(nimbo_type nimbo TYPE)
if(nimbo_type STREQUAL "STATIC_LIBRARY")
  set(NIMBO_STATIC_LIBRARY ON)
else()
  set(NIMBO_STATIC_LIBRARY OFF)
endif()
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/nimboConfig.cmake.in
  ${PROJECT_BINARY_DIR}/nimboConfig.cmake
  INSTALL_DESTINATION ${NIMBO_INSTALL_CMAKEDIR})
# Before 1.0 a new minor version may break users, so only the same major.minor is compatible.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(nimbo_compatibility SameMinorVersion)
else()
  set(nimbo_compatibility SameMajorVersion)
endif()
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/nimboConfigVersion.cmake
  COMPATIBILITY ${nimbo_compatibility})
install(FILES
  ${PROJECT_BINARY_DIR}/nimboConfig.cmake
  ${PROJECT_BINARY_DIR}/nimboConfigVersion.cmake
  DESTINATION ${NIMBO_INSTALL_CMAKEDIR}
  COMPONENT Development)

# pkg-config: the prefix is found from where the .pc file lies, so `cmake --install --prefix`
# to anywhere gives a working file.
set(NIMBO_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(NIMBO_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_LIBDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
             OUTPUT_VARIABLE NIMBO_PC_LIBDIR)
  cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_INCLUDEDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
             OUTPUT_VARIABLE NIMBO_PC_INCLUDEDIR)
else()
  file(RELATIVE_PATH nimbo_pc_up /nimbo-prefix/${NIMBO_PKGCONFIG_DIR} /nimbo-prefix)
  string(REGEX REPLACE "/$" "" nimbo_pc_up "${nimbo_pc_up}")
  set(NIMBO_PC_PREFIX "\${pcfiledir}/${nimbo_pc_up}")
  set(NIMBO_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(NIMBO_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
if(BUILD_SHARED_LIBS)
  set(NIMBO_PC_CFLAGS "-DNIMBO_SHARED")
else()
  set(NIMBO_PC_CFLAGS "")
endif()
# What a static library's users must link besides it: fmt and SQLite through their own .pc
# files; libpq and the thread library directly. libpq's .pc file is not named: for a static link
# it lists the libraries a static libpq would need (libpgcommon, libpgport, Kerberos), which
# distributions do not ship, while a static libnimbo's users link the shared libpq like anyone.
set(NIMBO_PC_REQUIRES_PRIVATE "fmt sqlite3")
list(GET PostgreSQL_LIBRARY_DIRS 0 nimbo_libpq_dir)
set(NIMBO_PC_LIBS_PRIVATE "-pthread -L${nimbo_libpq_dir} -lpq")
configure_file(${PROJECT_SOURCE_DIR}/cmake/nimbo.pc.in ${PROJECT_BINARY_DIR}/nimbo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/nimbo.pc
  DESTINATION ${NIMBO_PKGCONFIG_DIR}
  COMPONENT Development)
