# Installation the Linux way, and the Debian package made from it by
# `cpack -G DEB`. Under a prefix:
#   bin/brindle, bin/brindle-cli                  the programs
#   share/applications/<id>.desktop               the desktop entry
#   share/metainfo/<id>.metainfo.xml              the AppStream description
#   share/mime/packages/<id>.xml                  the task file type (*.bdt)
#   share/icons/hicolor/<size>/apps/brindle.*     the application icon
#   share/brindle/                                the resource folder (translations)
# The programs look for their resource folder in ../share/brindle beside their own
# folder (AppSettings::findResourceFolder), so the data folder name below must stay
# "share/brindle" relative to the binaries.
include(GNUInstallDirs)

# The application's id on the desktop (BRINDLE_APP_ID, set before the programs) names the
# desktop entry, metainfo and MIME files.
# No licence has been granted for Brindle: all rights are Orvanesoft's.
set(BRINDLE_PROJECT_LICENSE "LicenseRef-proprietary")
set(BRINDLE_RELEASE_DATE "2026-12-08")

set(BRINDLE_DATA_DIR "${PROJECT_SOURCE_DIR}/data")
set(BRINDLE_DESKTOP_FILE "${BRINDLE_DATA_DIR}/${BRINDLE_APP_ID}.desktop")
set(BRINDLE_MIME_FILE "${BRINDLE_DATA_DIR}/${BRINDLE_APP_ID}.xml")
set(BRINDLE_METAINFO_FILE "${CMAKE_BINARY_DIR}/data/${BRINDLE_APP_ID}.metainfo.xml")
configure_file("${BRINDLE_DATA_DIR}/${BRINDLE_APP_ID}.metainfo.xml.in" "${BRINDLE_METAINFO_FILE}" @ONLY)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS brindle brindle-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${BRINDLE_DESKTOP_FILE}" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${BRINDLE_METAINFO_FILE}" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${BRINDLE_MIME_FILE}" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/src/gui/images/app/hicolor"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons"
    FILES_MATCHING PATTERN "brindle.png" PATTERN "brindle.svg")
# The resource folder is installed even while it is empty: its presence is what tells an
# installed program where its resources are.
install(DIRECTORY DESTINATION "${CMAKE_INSTALL_DATADIR}/brindle")
# The translations the build makes (translations/CMakeLists.txt, in <build>/translations).
install(FILES ${BRINDLE_QM_FILES} DESTINATION "${CMAKE_INSTALL_DATADIR}/brindle")

# The Debian package: cpack -G DEB in the build folder writes brindle_<version>_<arch>.deb.
set(BRINDLE_PACKAGE_MAINTAINER "Orvanesoft <brindle@orvanesoft.invalid>" CACHE STRING
    "Maintainer written into the Debian package")
set(CPACK_PACKAGE_NAME "brindle")
set(CPACK_PACKAGE_VENDOR "Orvanesoft")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file copier you can trust with your data")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Brindle copies, moves and verifies files and folders. Copies run in background\n"
    "threads while the source is still being walked; a run can be stopped, saved as a\n"
    "task file and resumed later, and files that failed can be copied again. A verify\n"
    "compares both sides by SHA-256. The package holds the window program, brindle,\n"
    "and the command-line program, brindle-cli.")
set(CPACK_PACKAGE_CONTACT "${BRINDLE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRINDLE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps finds the libraries the programs link (Qt, libcrypto, libc).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The default external copy program.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "rsync")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(NOT BRINDLE_WEBSITE_URL STREQUAL "")
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BRINDLE_WEBSITE_URL}")
endif()
set(CPACK_GENERATOR "DEB")
include(CPack)
