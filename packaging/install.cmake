# Installing the show like a desktop program (cmake --install), and its Debian package (cpack).
#
#   bin/brindlehop                                  the program
#   share/brindlehop/data/                          its data (installed beside this file)
#   share/applications/brindlehop.desktop           the menu entry: full screen, or a window
#   share/icons/hicolor/<size>/apps/brindlehop.png  48, 128 and 256 px (make_data --icons)
#   share/metainfo/<id>.metainfo.xml                AppStream: description and screenshot
#   share/man/man6/brindlehop.6.gz                  written by the program from its option table
#   share/doc/brindlehop/{copyright,changelog.gz}
#   share/lintian/overrides/brindlehop             why two lintian notes do not apply

set(BRINDLEHOP_APP_ID "org.brindlehop.brindlehop")
set(BRINDLEHOP_MAINTAINER "Brindlehop maintainers <maintainers@users.noreply.c-seed-0230dd65.example>")
# The screenshot is the README's picture of the six scenes, as published with the sources.
set(BRINDLEHOP_SCREENSHOT_URL "${PROJECT_HOMEPAGE_URL}/docs/scenes.jpg")

# The manual page comes from the program itself, so it lists exactly the options --help lists;
# a cross-built program runs under the toolchain's emulator (qemu-user) for it.
add_custom_command(OUTPUT brindlehop.6.gz
    COMMAND sh -c "\"$@\" --help-man > brindlehop.6 && gzip -9nf brindlehop.6"
            sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:brindlehop>
    DEPENDS brindlehop
    COMMENT "Writing the manual page"
    VERBATIM)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in changelog @ONLY)
add_custom_command(OUTPUT changelog.gz
    COMMAND sh -c "gzip -9n < changelog > changelog.gz"
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
    VERBATIM)
add_custom_target(brindlehop_manual ALL DEPENDS brindlehop.6.gz changelog.gz)
configure_file(${CMAKE_CURRENT_LIST_DIR}/brindlehop.metainfo.xml.in
    ${BRINDLEHOP_APP_ID}.metainfo.xml @ONLY)

# An installed program reads nothing from the build tree; relro hardens its relocations.
target_link_options(brindlehop PRIVATE -Wl,-z,relro,-z,now)

install(FILES packaging/brindlehop.desktop DESTINATION share/applications)
foreach(size 48 128 256)
    install(FILES packaging/icons/brindlehop_${size}.png
        DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME brindlehop.png)
endforeach()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${BRINDLEHOP_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/brindlehop.6.gz DESTINATION share/man/man6)
install(FILES packaging/lintian-overrides DESTINATION share/lintian/overrides RENAME brindlehop)
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    DESTINATION share/doc/brindlehop)

# cpack -G DEB: build/package/brindlehop_<version>_<arch>.deb, its dependencies worked out from
# the program's shared libraries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlehop)
set(CPACK_PACKAGE_VENDOR "The Brindlehop developers")
set(CPACK_PACKAGE_CONTACT "${BRINDLEHOP_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual demo with six scenes and its music")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Brindlehop plays one piece of music and shows six scenes, every pixel computed
on the CPU and every motion driven by the music clock: grid-mapped moving
textures, colour-keyed overlays, inversion, fades, a running blur, sliding
title cards, credits, and a lit, shaded 3D egg.
.
It can also render its frames without a screen, as PNG pictures with
checksums or as a video with its music through ffmpeg.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A cross build (cmake/arm64-linux-gnu.cmake) is packaged for the machine it runs on, not this one;
# dpkg-shlibdeps then looks its libraries up among the multiarch :arm64 packages.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Linux"
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")
include(CPack)
