# Installed layout of a packaged program, plus the Debian package built by CPack.
include(GNUInstallDirs)

set(VANTIRO_NOTO_DIR "/usr/share/fonts/truetype/noto" CACHE PATH "Where Debian's fonts-noto-core keeps Noto Sans")
set(VANTIRO_FONT_FILES NotoSans-Regular.ttf NotoSansThai-Regular.ttf)

install(TARGETS vantiro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(font ${VANTIRO_FONT_FILES})
  if(EXISTS ${VANTIRO_NOTO_DIR}/${font})
    # A link to the font that fonts-noto-core installs, not a second copy of it.
    install(CODE "
      set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/vantiro/fonts\")
      file(MAKE_DIRECTORY \"\${dir}\")
      file(CREATE_LINK \"${VANTIRO_NOTO_DIR}/${font}\" \"\${dir}/${font}\" SYMBOLIC)")
  else()
    message(WARNING "${VANTIRO_NOTO_DIR}/${font} not found: the package will rely on the system's fonts")
  endif()
endforeach()
install(FILES data/vantiro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME io.github.vantiro.Vantiro.desktop)
install(FILES data/vantiro.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME io.github.vantiro.Vantiro.svg)
install(FILES data/vantiro.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME io.github.vantiro.Vantiro.metainfo.xml)
# Manual page and changelog go in compressed, as Debian's policy asks.
foreach(doc vantiro.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${doc}.gz
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/data/${doc} > ${CMAKE_BINARY_DIR}/${doc}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/data/${doc} VERBATIM)
endforeach()
add_custom_target(vantiro_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/vantiro.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/vantiro.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz data/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES data/vantiro.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vantiro)
install(FILES data/vantiro-serve.service DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantiro/examples)
install(PROGRAMS tools/install-firmware.sh DESTINATION ${CMAKE_INSTALL_DATADIR}/vantiro RENAME install-firmware)

set(CPACK_PACKAGE_NAME vantiro)
set(CPACK_PACKAGE_VENDOR "Vantiro")
set(CPACK_PACKAGE_CONTACT "Vantiro developers <vantiro@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live TV player for USB DVB-T/T2 tuner sticks")
set(CPACK_PACKAGE_DESCRIPTION "Vantiro scans the UHF band with a DVB-T/T2 stick (MyGica T230C),\nplays the channels full-window with libmpv, adds online TV and radio\nfrom M3U playlists, and can serve the live stream over HTTP.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${VANTIRO_ONLINE_HOST}/play/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0, libmpv2, libcurl4, fonts-noto-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, pkexec | policykit-1")
set(CPACK_STRIP_FILES ON)
include(CPack)
