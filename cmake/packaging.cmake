# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cmake --build build --target package` gives build/tervaxis_*.deb,
# installed with `apt install ./build/tervaxis_*.deb`. Included after every subdirectory,
# so that targets defined anywhere are known here.

# The logger, wherever it is defined.
if(TARGET tervaxis-log)
    install(TARGETS tervaxis-log RUNTIME DESTINATION bin)
endif()

set(TERVAXIS_PACKAGE_MAINTAINER "Tervaxis developers <tervaxis@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(TERVAXIS_HOMEPAGE "https://example.org/tervaxis"
    CACHE STRING "Homepage field of the Debian package")

# Debian wants the licence beside every package.
set(package_copyright ${CMAKE_BINARY_DIR}/package/copyright)
file(CONFIGURE OUTPUT ${package_copyright} CONTENT "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Tervaxis

Files: *
Copyright: Tervaxis developers
License: GPL-3.0-or-later
 On Debian systems the full text of the GNU General Public License version 3
 is in /usr/share/common-licenses/GPL-3.
")
install(FILES ${package_copyright} DESTINATION share/doc/tervaxis)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tervaxis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TERVAXIS_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${TERVAXIS_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measurement program for 884x bench multimeters over LAN")
set(CPACK_PACKAGE_DESCRIPTION "\
Tervaxis measures with a digital multimeter of the 884x family reached over a
local network (raw TCP and SCPI). It shows the readings on a large display
with bar graph, limits, statistics, histogram and trend chart, applies zero,
math and a filter window, and saves data files that spreadsheets read.
tervaxis-log records the same data files without a window, for long runs on a
machine without a display. tervaxis-sim is a demo instrument to try it with.")

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the binaries do not name: the window system plugin (libqt6gui6 only recommends it)
# and the display's fixed-pitch font, which the package does not ship.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
# Qt's own dialog button texts in the desktop's language; ping where ICMP sockets are barred.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, iputils-ping")
include(CPack)
