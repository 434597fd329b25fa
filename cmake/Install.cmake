# What `cmake --install` puts where (GNUInstallDirs, so prefix /usr gives /usr/bin,
# /usr/share/man/man1, ...). One reverse-DNS id names the desktop entry, the AppStream metainfo
# and the icons. The desktop files come with the window: a build without it (ORVANE_BUILD_UI=OFF,
# or before src/ui/main.cpp exists) installs the command-line tool, its man page and the MIME
# type only. The files themselves live in data/.
include(GNUInstallDirs)

set(ORVANE_APP_ID io.orvane.Orvane)
set(_orvane_data ${PROJECT_SOURCE_DIR}/data)

install(TARGETS orvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_orvane_data}/man/orvane-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# MIDI 2.0 Clip files (*.midi2, "SMF2CLIP"); Standard MIDI Files are shared-mime-info's own.
install(FILES ${_orvane_data}/${ORVANE_APP_ID}.mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${ORVANE_APP_ID}.xml)

if(TARGET orvane)
  install(TARGETS orvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${_orvane_data}/man/orvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_orvane_data}/${ORVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_orvane_data}/${ORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${_orvane_data}/icons/${ORVANE_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(_size 16 24 32 48 64 128 256)
    install(FILES ${_orvane_data}/icons/hicolor/${_size}x${_size}/apps/${ORVANE_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
  endforeach()
endif()
