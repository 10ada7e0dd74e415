# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made by CPack from the same install rules as
# `make install`, so that the two cannot differ. `make package` builds it in a
# folder of its own, with Debian's hardening flags and without the tests.
#
# The libraries the programs link are found by dpkg-shlibdeps; what it cannot
# see is named here: the image plug-ins Qt loads at run time (TIFF and WebP
# from qt5-image-formats-plugins; HEIF, AVIF, JPEG XL and camera RAW from
# KDE's) and a font for the watermark text and the window.

set(TARVELO_MAINTAINER "Dovrin Halsek <tarvelo@dovrinhalsek.com>"
    CACHE STRING "Maintainer of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Dovrin Halsek")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stamp a logo and watermark on many pictures at once")
# The synopsis is the summary above; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarvelo stamps pictures in batches. List picture files (with the dialog, or
by dropping files and whole folders on the window), choose a logo and one
line of watermark text, place each by one of nine anchors plus an offset,
set opacity, scale, font and colour, optionally resize and lay a shadow bar
along an edge, and watch the live preview. One button then writes a stamped
copy of every picture as JPG, PNG or TIF, never overwriting a file.

It reads JPEG, PNG, TIFF, WebP, GIF, BMP, JPEG 2000, HEIF, AVIF, JPEG XL and
camera RAW pictures, each decoded in a fenced-in process of its own, and
keeps their metadata. tarvelo-cli stamps with the window's options without
a window, for scripts and servers.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tarvelo_2.8.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVELO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://${TARVELO_WEBSITE}/tarvelo/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt5-image-formats-plugins, kimageformat-plugins, fonts-dejavu-core")
# Qt's own texts (the standard buttons and dialogs) in the user's language,
# beside the program's translations that the package carries.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qttranslations5-l10n")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
