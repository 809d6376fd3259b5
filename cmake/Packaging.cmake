# Installation and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

set(QUORVANE_INSTALLED_PROGRAMS quorvane quorvane-headless quorvane-pack quorvane-router
    quorvane-record quorvane-dashboard)
foreach(program IN LISTS QUORVANE_INSTALLED_PROGRAMS)
    # The window is optional (QUORVANE_GUI=OFF); install what this build has.
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET quorvane)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/quorvane.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/gui/widgets/icons/128.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
            RENAME quorvane.png)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane)
# A user unit for the dashboard, installed and never enabled: the supervisor
# chooses the record and the address (README, "The line dashboard").
install(FILES ${CMAKE_SOURCE_DIR}/packaging/quorvane-dashboard.service
    DESTINATION lib/systemd/user)

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Quorvane")
set(CPACK_PACKAGE_CONTACT "Quorvane production engineering <quorvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Production-line station for flashing home routers over TFTP")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Serves personalised firmware packages (MAC addresses, boot loader, configuration,\n"
    "root image) to routers in download mode over a TFTP dialect on UDP port 69.\n"
    "Includes the window station, a terminal station, a package tool, a router stand-in\n"
    "and a read-only web dashboard over the production record.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps adds the library packages the programs link (Qt 6, zlib, the C++
# run time); declared here is what they load at run time or show.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's SQL drivers are plugins: no library dependency names them.
set(QUORVANE_DEB_DEPENDS "fonts-wqy-microhei, libqt6sql6-sqlite")
if(TARGET quorvane)
    # The window's platform plugins (xcb, wayland) are loaded at run time.
    string(APPEND QUORVANE_DEB_DEPENDS ", qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${QUORVANE_DEB_DEPENDS})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin, libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
