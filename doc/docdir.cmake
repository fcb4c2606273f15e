# The documentation folder: the manual is installed there and the program
# looks for it there, relative to its own folder. Debian names the folder
# after the package, in lower case, where GNUInstallDirs' default takes the
# project's name ("Plakuro"); a value given with -DCMAKE_INSTALL_DOCDIR stays.
include(GNUInstallDirs)
if("$CACHE{CMAKE_INSTALL_DOCDIR}" STREQUAL "")
    set(CMAKE_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/plakuro")
    include(GNUInstallDirs)
endif()
