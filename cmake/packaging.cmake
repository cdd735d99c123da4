# Installs kelvora, kelvora-preview and their manual pages, and packages them
# for Debian:
#   cmake --install build [--prefix DIR]
#   cd build && cpack -G DEB
include(GNUInstallDirs)

install(TARGETS kelvora kelvora-preview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages go in compressed, as Debian's man-db expects; -n keeps the file
# name and time out of the archive, so two builds give the same package.
find_program(GZIP_PROGRAM gzip)
set(KELVORA_MAN_DIR ${PROJECT_BINARY_DIR}/man)
foreach(page kelvora kelvora-preview)
  set(source ${PROJECT_SOURCE_DIR}/man/${page}.1)
  if(GZIP_PROGRAM)
    add_custom_command(
      OUTPUT ${KELVORA_MAN_DIR}/${page}.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVORA_MAN_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${KELVORA_MAN_DIR}/${page}.1
      COMMAND ${GZIP_PROGRAM} -9 -n -f ${KELVORA_MAN_DIR}/${page}.1
      DEPENDS ${source}
      VERBATIM)
    add_custom_target(${page}_man_page ALL DEPENDS ${KELVORA_MAN_DIR}/${page}.1.gz)
    install(FILES ${KELVORA_MAN_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

set(CPACK_PACKAGE_NAME kelvora)
set(CPACK_PACKAGE_VENDOR "Kelvora developers")
set(CPACK_PACKAGE_CONTACT "Kelvora developers <kelvora@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert pictures into cell-coloured assembler data")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "kelvora reads a BMP or PNG picture and a list of rectangles and writes
assembler source (labels, db and ds lines) for a display that colours the
screen by 8 x 8-pixel cells: blocks of cells, tile tables on 256-byte pages
and masked sprites. kelvora-preview shows what the display will show and
checks a sheet for the mistakes kelvora converts without a word.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Versioned dependencies come from dpkg-shlibdeps (package dpkg-dev) when it is
# there; without it, the libraries the binary links with, unversioned.
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
