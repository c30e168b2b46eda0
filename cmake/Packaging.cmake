# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made from a release build with `cpack -G DEB` in the build folder
# (or `cmake --build --preset release --target package`). It holds what `cmake --install`
# installs: the program, the replay tool, the two private libraries under lib/morphane/ (found
# through the run path $ORIGIN/../lib/morphane), the desktop entry, the AppStream metadata, the
# icons, the manual pages and the guide; and, as Debian wants them, the machine-readable
# copyright file and the changelog of a native package, made from NEWS.
# `scripts/package.sh` makes it and checks it with lintian.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morphane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Morphane")
set(CPACK_PACKAGE_CONTACT "Morphane <info@morphane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Porträtfotos spielerisch verformen")
# The long description: lines of at most 79 characters, an empty line between paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [=[
Morphane verformt Porträtfotos zum Spaß. Sie öffnen ein Bild und ziehen mit
der Maus darüber: fünf Werkzeuge lassen Teile des Gesichts wachsen,
schrumpfen, verschmieren und verzerren, und der Radierer holt das Original
zurück, wo er darüberfährt. Das Foto selbst bleibt unverändert; jeder Strich
lässt sich rückgängig machen und wiederholen.

Das Ergebnis wird pixelgenau oder geglättet dargestellt, als Bild
gespeichert, gedruckt oder als Animation vom Foto zum verformten Bild
gesichert.

Das Paket enthält auch morphane-replay, das Strich-Skripte ohne Fenster
abspielt, die Handbuchseiten und eine deutsche Anleitung mit Bildern.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.morphane.example")
# Run-time dependencies computed from the libraries the programs link (dpkg-shlibdeps), so a
# library added to the build needs no change here; the program's own libraries are private.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# They are not in the linker's search path, so installing them needs no ldconfig.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POSTINST OFF)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/platform ${CMAKE_BINARY_DIR}/velbrik)
# The face landmark model of the face functions; everything else works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libdlib-data)
# Quick to make and to unpack; the package is small either way.
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_STRIP_FILES ON)

# /usr/share/doc/morphane: copyright and the native package's changelog.gz, made from NEWS at
# configure time (the build is configured again when NEWS changes).
include(${CMAKE_CURRENT_LIST_DIR}/NewsChangelog.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/NEWS)
set(MORPHANE_DEBIAN_DIR ${CMAKE_BINARY_DIR}/debian)
morphane_news_changelog(${PROJECT_SOURCE_DIR}/NEWS ${MORPHANE_DEBIAN_DIR}/changelog
                        "${CPACK_PACKAGE_CONTACT}" MORPHANE_RELEASES)
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9 -n -f ${MORPHANE_DEBIAN_DIR}/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${MORPHANE_DEBIAN_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morphane)

# Everything `cmake --install` copies that the build makes, without the tests and benchmarks:
# scripts/package.sh and scripts/screenshots.sh build this target before they install. A target
# that gets an install rule belongs here. The install step (and cpack) builds nothing itself,
# so a package never waits for the tests to compile.
add_custom_target(morphane_installed_files)
foreach(target morphane morphane-replay velbrik morphane_platform morphane_manpages)
  if(TARGET ${target})
    add_dependencies(morphane_installed_files ${target})
  endif()
endforeach()
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
