# Read by cpack before each package it makes (CPACK_PROJECT_CONFIG_FILE). Without dpkg-shlibdeps
# CPack's Debian generator leaves Depends out and still reports success; without file it stops
# without saying what to install. So stop first, naming the Debian packages.
if(CPACK_GENERATOR STREQUAL "DEB")
    # The names CPack's Debian generator looks for, so that it uses what is found here.
    find_program(SHLIBDEPS_EXECUTABLE dpkg-shlibdeps)
    find_program(FILE_EXECUTABLE file)
    set(orva_missing "")
    set(orva_packages "")
    if(NOT SHLIBDEPS_EXECUTABLE)
        list(APPEND orva_missing "dpkg-shlibdeps (package dpkg-dev)")
        list(APPEND orva_packages dpkg-dev)
    endif()
    if(NOT FILE_EXECUTABLE)
        list(APPEND orva_missing "file (package file)")
        list(APPEND orva_packages file)
    endif()
    if(orva_missing)
        list(JOIN orva_missing ", " orva_missing)
        list(JOIN orva_packages " " orva_packages)
        message(FATAL_ERROR "The Debian package cannot be made without ${orva_missing}. Install "
                            "with tools/install-deps --package (apt-get install ${orva_packages}).")
    endif()
endif()

# The installer and the zip share a base name; the installer says what it is.
if(CPACK_GENERATOR STREQUAL "NSIS")
    string(APPEND CPACK_PACKAGE_FILE_NAME "-setup")
endif()
