# Read by cpack for each package it makes. Without dpkg-shlibdeps (from
# dpkg-dev), CPack would make a Debian package that declares no dependency at
# all, and it would install on systems whose C library the programs cannot
# start with: none is made then.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(NETFIGURES_SHLIBDEPS dpkg-shlibdeps)
  if(NOT NETFIGURES_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps not found: install dpkg-dev, which computes the "
      "package's dependencies")
  endif()
endif()
