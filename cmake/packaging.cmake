# The Debian packages, one a component of the install rules:
#   sdk      liborbilo-sdk1      the shared library
#   sdk-dev  liborbilo-sdk-dev   headers, static library, pkg-config file,
#                                CMake package, the guide and the examples
#   python   python3-orbilo      the Python binding
#   bot      orbilo              the window, the console, desktop entry, unit
#   server   orbilo-server       the servers, their configuration and unit
# make package configures a tree of its own with the prefix /usr and runs
# cpack there (see the Makefile). Included before the parts, so that their
# install rules find the directories below; CPack itself is set up at the end
# of the top directory, once every install rule is known.

# The libraries go to lib/ whatever the platform's multiarch default (the
# pkg-config file finds the prefix from there), as the top file says too.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR)
  set(CMAKE_INSTALL_LIBDIR lib)
endif()
include(GNUInstallDirs)

set(ORBILO_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)
get_filename_component(ORBILO_PACKAGING_DIR ${ORBILO_PACKAGING_DIR} ABSOLUTE)
# Configuration goes to /etc for the prefix /usr and to PREFIX/etc otherwise,
# so that an install into a scratch prefix stays inside it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(ORBILO_CONFDIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/orbilo)
else()
  set(ORBILO_CONFDIR ${CMAKE_INSTALL_SYSCONFDIR}/orbilo)
endif()
set(ORBILO_UNITDIR lib/systemd/system)
set(ORBILO_MAINTAINER "Orbilo developers <developers@orbilo.example>"
    CACHE STRING "The maintainer named in the Debian packages")

# The manual and the C and C++ examples, beside the development files (the
# binding's own examples go with it).
install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/liborbilo-sdk-dev COMPONENT sdk-dev)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/liborbilo-sdk-dev/examples
        COMPONENT sdk-dev FILES_MATCHING PATTERN "*.c" PATTERN "*.cpp" PATTERN python EXCLUDE)

macro(orbilo_packaging_setup)
  set(ORBILO_PACKAGE_sdk liborbilo-sdk1)
  set(ORBILO_PACKAGE_sdk-dev liborbilo-sdk-dev)
  set(ORBILO_PACKAGE_python python3-orbilo)
  set(ORBILO_PACKAGE_bot orbilo)
  set(ORBILO_PACKAGE_server orbilo-server)

  # Each package that has files gets the copyright and the changelog (a
  # component with no install rules, such as the binding before it is
  # built, gets no package).
  configure_file(${ORBILO_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/changelog
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  get_cmake_property(ORBILO_COMPONENTS COMPONENTS)
  set(CPACK_COMPONENTS_ALL)
  foreach(component sdk sdk-dev python bot server)
    if(component IN_LIST ORBILO_COMPONENTS)
      list(APPEND CPACK_COMPONENTS_ALL ${component})
      install(FILES ${ORBILO_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
              DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ORBILO_PACKAGE_${component}}
              COMPONENT ${component})
    endif()
  endforeach()
  # What the packages install, and nothing else: make package builds this.
  add_custom_target(orbilo_packaged)
  foreach(target orbilo_sdk orbilo_sdk_static orbilo orbilo-console orbilo-server orbilo_python)
    if(TARGET ${target})
      add_dependencies(orbilo_packaged ${target})
    endif()
  endforeach()
  # The packages made, one a line, for the package check.
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/packages.txt "")
  foreach(component ${CPACK_COMPONENTS_ALL})
    file(APPEND ${CMAKE_BINARY_DIR}/packaging/packages.txt "${ORBILO_PACKAGE_${component}}\n")
  endforeach()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME orbilo)
  set(CPACK_PACKAGE_VENDOR "The Orbilo developers")
  set(CPACK_PACKAGE_CONTACT "${ORBILO_MAINTAINER}")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  # Install to the configured prefix (/usr) under the staging directory, so
  # that the absolute /etc path of the server's configuration is staged too.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PROJECT_CONFIG_FILE ${ORBILO_PACKAGING_DIR}/cpack_tools_check.cmake)

  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORBILO_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  foreach(component ${CPACK_COMPONENTS_ALL})
    string(TOUPPER ${component} upper)
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${ORBILO_PACKAGE_${component}})
  endforeach()
  set(ORBILO_EXACT "(= ${PROJECT_VERSION})")

  set(CPACK_DEBIAN_SDK_PACKAGE_SECTION libs)
  # The dynamic linker's cache is refreshed by the ldconfig trigger (cpack's
  # own maintainer scripts call ldconfig as well).
  set(CPACK_DEBIAN_SDK_PACKAGE_CONTROL_EXTRA ${ORBILO_PACKAGING_DIR}/sdk/triggers)
  set(CPACK_DEBIAN_SDK_DESCRIPTION "client library for the Orbilo virtual-world chat service
With this C library a program runs one or many bots in an Orbilo universe:
each keeps a link to the universe server and one to a world server, and
reports what the servers say through events and callbacks.")

  set(CPACK_DEBIAN_SDK-DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_SDK-DEV_PACKAGE_DEPENDS "liborbilo-sdk1 ${ORBILO_EXACT}")
  set(CPACK_DEBIAN_SDK-DEV_DESCRIPTION "client library for the Orbilo chat service - development files
The C99 header, the static library, the pkg-config file orbilo-sdk and the
CMake package OrbiloSdk of the Orbilo client library, with its guide and
example bots in C and C++.")

  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, liborbilo-sdk1 ${ORBILO_EXACT}")
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python binding of the Orbilo client library
The module orbilo gives Python programs the calls of the Orbilo client
library, with which they run bots in an Orbilo universe.")

  set(CPACK_DEBIAN_BOT_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_BOT_DESCRIPTION "bot that stands in an Orbilo world as a ball to kick
Simple Orbilo logs in, enters a world and stands there as a ball that
avatars kick about, and whispers replies to two chat queries. It comes as
a window (orbilo) and without one (orbilo-console), with a service unit
that runs one bot for each directory under /var/lib/orbilo.")

  set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${ORBILO_PACKAGING_DIR}/server/conffiles)
  set(CPACK_DEBIAN_SERVER_DESCRIPTION "universe, world and version servers for Orbilo bots
orbilo-server runs the servers of the Orbilo service in one process: a
universe server, world servers with crowds of simulated citizens, and the
version service, so that bots can be run and tested on one machine. A
service unit runs it with /etc/orbilo/orbilo-server.conf.")

  include(CPack)
endmacro()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL orbilo_packaging_setup)
