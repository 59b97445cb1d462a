# `cpack -G DEB` in a build folder makes morrowdeck_<version>_<arch>.deb from what
# `cmake --install` installs. Its dependencies are read from the binaries by dpkg-shlibdeps,
# so the package asks for exactly the Debian libraries this build links against.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morrowdeck
        RENAME copyright)

set(CPACK_PACKAGE_NAME morrowdeck)
set(CPACK_PACKAGE_VENDOR "Morrowdeck")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Back up and restore Serato DJ libraries")
set(CPACK_PACKAGE_DESCRIPTION
    "Morrowdeck copies the audio of chosen Serato DJ crates into a backup folder, keeps\n\
Serato's track records, crate files and ratings beside it, and later restores all of it\n\
into a working Serato library. It has a desktop application (morrowdeck) and a command\n\
line (morrowdeck-cli).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Morrowdeck developers <morrowdeck@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
include(CPack)
