# The program laid out in the build folder as it is installed: the programs
# in bin/, their data in share/kx2jpk/. The programs find their data relative
# to their own executable (../share/kx2jpk), so the same binary runs from the
# build folder and installed, and nothing is read from the source tree.
include(GNUInstallDirs)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY_PROGRAMS ${CMAKE_BINARY_DIR}/bin)
set(KX_BUILD_DATA_DIR ${CMAKE_BINARY_DIR}/share/kx2jpk)
add_custom_target(kx_data ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/data ${KX_BUILD_DATA_DIR}
  COMMENT "Dane programu w ${KX_BUILD_DATA_DIR}")

# The manual pages and the change log, compressed as Debian expects them.
set(KX_COMPRESSED)
foreach(file kx2jpk-cli.1 kx2jpk.1 changelog)
  set(out ${CMAKE_BINARY_DIR}/packaging/${file}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/${file} > ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${file})
  list(APPEND KX_COMPRESSED ${out})
endforeach()
add_custom_target(kx_man ALL DEPENDS ${KX_COMPRESSED})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kx2jpk)
install(FILES ${CMAKE_BINARY_DIR}/packaging/kx2jpk-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(KX_BUILD_DESKTOP)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/kx2jpk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/kx2jpk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/kx2jpk.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The Debian package (bash scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kx2jpk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kx2jpk")
set(CPACK_PACKAGE_CONTACT "kx2jpk <kx2jpk@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pliki JPK: tworzenie, sprawdzanie, poprawianie i konwersja")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Program okienkowy kx2jpk i wiersz poleceń kx2jpk-cli dla firm\n"
    "i biur rachunkowych: JPK_V7M(3) z deklaracją VAT-7, JPK_FA(4),\n"
    "JPK_MAG(1) i JPK_KR(1) z tabel programów źródłowych, sprawdzanie\n"
    "ze schematami, eksport sprzedaży i konwersja plików.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
