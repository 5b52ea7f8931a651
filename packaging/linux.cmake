# What `cmake --install` lays out for the Linux agent, and the .deb that CPack makes of it:
# bin/ferrylink and bin/ferrylink-send; with the graphical desktop also the menu entry and
# the drawn icon in the hicolor theme at the usual sizes.
include(GNUInstallDirs)
install(TARGETS ferrylink ferrylink-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET fl-icon-png)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/linux/ferrylink.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(fl_icon_files)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/ferrylink.png)
    add_custom_command(OUTPUT ${png}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
                       COMMAND fl-icon-png ${size} ${png}
                       DEPENDS fl-icon-png VERBATIM)
    list(APPEND fl_icon_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(fl_icons ALL DEPENDS ${fl_icon_files})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrylink)
set(CPACK_PACKAGE_VENDOR ferrylink)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Receives files, text and links from a phone over the local network")
set(CPACK_PACKAGE_CONTACT "ferrylink maintainers <maintainers@ferrylink.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The dependencies are the Debian packages of the libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
