# The Debian package: `cpack -G DEB` in the build folder (scripts/package.sh does it)
# makes quilldown_<version>_<arch>.deb from the install rules.

# Files a Debian package carries beside the program: the manual page and the changelog,
# compressed as Debian wants them (best compression, no name or time stamp inside).
set(QUILLDOWN_PACKAGE_FILES)
foreach(name quilldown.1 changelog)
  set(compressed ${CMAKE_BINARY_DIR}/package-files/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/resources/package/${name} ${CMAKE_BINARY_DIR}/package-files/${name}
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/package-files/${name}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/package/${name}
    VERBATIM)
  list(APPEND QUILLDOWN_PACKAGE_FILES ${compressed})
endforeach()
add_custom_target(quilldown_package_files ALL DEPENDS ${QUILLDOWN_PACKAGE_FILES})

install(FILES ${CMAKE_BINARY_DIR}/package-files/quilldown.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The copyright file is machine-readable (Debian's copyright format 1.0); the sample
# document the README shows lies beside it, ready to be opened.
install(FILES resources/package/copyright ${CMAKE_BINARY_DIR}/package-files/changelog.gz resources/sample.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quilldown)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quilldown)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quilldown developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Markdown editor with a live HTML preview")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quilldown developers <developers@quilldown.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUILLDOWN_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Quilldown is a desktop Markdown editor with a live preview. The left
half of its window holds the Markdown text and an HTML head fragment,
the right half shows the document rendered by Pandoc and styled by a
stylesheet of your choice. A moment after typing stops, the preview
shows the new rendering at the same scroll position, and editor and
preview scroll together.

Saving writes the Markdown file, its head fragment and an exported
HTML page with a copy of its stylesheet beside it.")
# The libraries the program links give the rest of the dependencies; Pandoc is started,
# not linked.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pandoc")
# The default editor font, Courier New, is mapped by fontconfig to Liberation Mono; Qt's
# Wayland plugin lets the window run on a Wayland session without XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
