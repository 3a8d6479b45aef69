# `cpack -G DEB` in a build folder: a Debian package of what `cmake --install`
# puts in place, under /usr. Its dependencies are worked out from the binaries
# by dpkg-shlibdeps (package dpkg-dev), so `apt-get install ./quilton_*.deb`
# pulls in Qt and libjpeg-turbo on a fresh system.
set(CPACK_PACKAGE_NAME quilton)
set(CPACK_PACKAGE_VERSION ${QUILTON_RELEASE})
set(CPACK_PACKAGE_VENDOR "Quilton")
set(CPACK_PACKAGE_CONTACT "Quilton developers <quilton@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quilton.example.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "design square decorative wall tiles from a picture")
set(CPACK_PACKAGE_DESCRIPTION
    "Quilton composes four mirror-symmetric tile designs from one picture (BMP, GIF or
JPEG) by combining it with its mirror images, applies effects to each tile, and
saves them as BMP or JPEG, shows them as the desktop wallpaper or as the
background of a sample web page. quilton-batch does it for every picture of a
folder on the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Japanese texts for the standard dialogs, a Japanese font for the
# windows' captions, and xdg-open for the sample page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-translations-l10n, fonts-noto-cjk | fonts-vlgothic | fonts-ipafont-gothic, xdg-utils")

include(CPack)
