# The Debian package: `cpack -G DEB` in a Release build folder makes
# tabulon_<version>_amd64.deb (scripts/package does it all, with Debian's hardening
# flags). Its dependencies come from the programs' shared libraries (dpkg-shlibdeps)
# plus the font the window draws its report with.
set(CPACK_PACKAGE_NAME tabulon)
set(CPACK_PACKAGE_VENDOR "the Tabulon authors")
set(CPACK_PACKAGE_CONTACT "${TABULON_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TABULON_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The synopsis, and the extended description: CPack indents it and turns the empty
# line between paragraphs into " .", as Debian's control files want them.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "NEWDOS/80 drive parameters of TRS-80 emulator disk images")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[Tabulon reads TRS-80 emulator disk images (DMK, JV3, JV1, HFE and IMD
files), finds the system sector in which NEWDOS/80 keeps its drive
parameter (PDRIVE) table and shows the table's first slot as a fixed text
report: track count, sides and density, sectors per track, step rate,
granules per lump and the place of the directory. It only ever reads the
images.

The package holds two programs: tabulon, a small Qt window that opens one
image at a time, and tabulon-report, which prints the same report for many
images on the command line, as text or JSON Lines, with exit statuses for
scripts and batch checks.]=])

include(CPack)
