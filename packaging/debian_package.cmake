# The Debian package: `cpack` in the build folder, after building veldrin_package_files, leaves
# veldrin_<version>_<arch>.deb there.

# `cpack` installs what is built and builds nothing itself: not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE PARENT_SCOPE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veldrin)
# All four parts of it (CPack's default takes three).
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELDRIN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lays a light grid over an automap's map bitmaps")
set(CPACK_PACKAGE_DESCRIPTION [=[
An automap program for the game keeps one BMP file per world, rendering and
zoom level in its folder. Veldrin loads the maps chosen, whitens them along a
grid of 8 full-size pixels, reduces them back to their own palette and saves
them under another rendering's name. The file it replaces is kept once as a
backup, which either program can put back. The window (veldrin) picks the
folder and the maps and shows them; veldrin-grid runs the same job from the
command line.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries as the built programs need them (dpkg-shlibdeps); the rest only makes the window
# read better: a Japanese font and Qt's own dialogs in Japanese.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Not the umask of whoever builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
