# Run by cpack before it builds the packages: each tool the Debian packages
# need, by the package that brings it; a missing one says what to install and
# stops the build. They are looked for on PATH alone.
foreach(pair dpkg-deb:dpkg-dev dpkg-shlibdeps:dpkg-dev file:file readelf:binutils)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 tool)
  list(GET pair 1 package)
  find_program(ORBILO_TOOL_${tool} ${tool} NO_CACHE NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH
               NO_CMAKE_SYSTEM_PATH)
  if(NOT ORBILO_TOOL_${tool})
    message(FATAL_ERROR "${tool} not found: the Debian packages need it. "
                        "Install it with: apt-get install ${package}")
  endif()
endforeach()
