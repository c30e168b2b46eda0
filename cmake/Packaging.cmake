# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made from a release build with `cpack -G DEB` in the build folder
# (or `cmake --build --preset release --target package`). It holds what `cmake --install`
# installs: the program, the replay tool, the two private libraries under lib/morphane/ (found
# through the run path $ORIGIN/../lib/morphane), the desktop entry and the icons.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morphane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Morphane")
set(CPACK_PACKAGE_CONTACT "Morphane <info@morphane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Porträtfotos spielerisch verformen")
set(CPACK_PACKAGE_DESCRIPTION
    "Ein Bild wählen, mit fünf Pinseln aufblähen, zusammenziehen, verschmieren und verzerren, jederzeit zum Original zurück radieren, dann speichern oder drucken. Enthält das Werkzeug morphane-replay, das Strich-Skripte ohne Fenster abspielt.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.morphane.example")
# Run-time dependencies from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The landmark model for "Gesicht formen"; without it only the face functions are off.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdlib-data")
# Quick to make and to unpack; the package is small either way.
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_STRIP_FILES ON)
include(CPack)
