# What `cmake --install` lays out and what the Debian package holds. Everything installed is
# found at run time relative to the executable (<exe dir>/../share/q417/), so the tree works from
# any prefix and no build-tree path is compiled into an installed program.
include(GNUInstallDirs)
# Installing (and packaging) needs only the installed programs, not the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

# A build tree has no share/q417 beside its programs: a marker next to them names the source
# data/ folder instead. The lookup honours it only when ../share/q417 is absent, and the marker
# is never installed, so an installed program cannot wander back into a checkout.
foreach(dir "${PROJECT_BINARY_DIR}" "${PROJECT_BINARY_DIR}/tests" "${PROJECT_BINARY_DIR}/bench")
    file(WRITE "${dir}/q417-source-data" "${PROJECT_SOURCE_DIR}/data/\n")
endforeach()

set(Q417_DATA_DEST "${CMAKE_INSTALL_DATADIR}/q417")
install(TARGETS q417ctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY data/DefaultData DESTINATION ${Q417_DATA_DEST})
if(IS_DIRECTORY "${PROJECT_SOURCE_DIR}/data/Font")
    install(DIRECTORY data/Font DESTINATION ${Q417_DATA_DEST})
endif()
# udev reads rules from <prefix>/lib/udev/rules.d for the /usr prefix of the package.
install(FILES data/linux/70-q417.rules DESTINATION lib/udev/rules.d)
install(FILES data/linux/q417ctl.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME q417ctl)

set(Q417_GENERATED "${PROJECT_BINARY_DIR}/generated")
# Manual pages go compressed (gzip -9n: no name, no time stamp), as Debian wants them.
foreach(page q417ctl q417)
    configure_file(data/linux/man/${page}.1.in ${Q417_GENERATED}/${page}.1 @ONLY)
    execute_process(COMMAND gzip -9nc ${Q417_GENERATED}/${page}.1
        OUTPUT_FILE ${Q417_GENERATED}/${page}.1.gz RESULT_VARIABLE q417_gzip_rc)
    if(NOT q417_gzip_rc EQUAL 0)
        message(FATAL_ERROR "gzip failed on ${Q417_GENERATED}/${page}.1")
    endif()
endforeach()
install(FILES ${Q417_GENERATED}/q417ctl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET q417)
    install(TARGETS q417 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(DIRECTORY data/skin DESTINATION ${Q417_DATA_DEST})
    install(FILES ${Q417_GENERATED}/q417.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    configure_file(data/linux/${Q417_APP_ID}.metainfo.xml.in
        ${Q417_GENERATED}/${Q417_APP_ID}.metainfo.xml @ONLY)
    install(FILES data/linux/${Q417_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${Q417_GENERATED}/${Q417_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES data/linux/${Q417_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# --- Debian package (tools/package.sh) ---------------------------------------------------------
# CPack's DEB generator packs exactly this install tree, so the package and `cmake --install`
# cannot drift apart; a debian/ folder would describe the same files a second time.
set(Q417_DEB_DOC "${Q417_GENERATED}/deb-doc")
configure_file(data/linux/debian/changelog.in ${Q417_DEB_DOC}/changelog @ONLY)
# Debian wants the changelog compressed with gzip -9n (no name, no time stamp: reproducible).
execute_process(COMMAND gzip -9nc "${Q417_DEB_DOC}/changelog"
    OUTPUT_FILE "${Q417_DEB_DOC}/changelog.gz" RESULT_VARIABLE q417_gzip_rc)
if(NOT q417_gzip_rc EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${Q417_DEB_DOC}/changelog")
endif()
install(FILES data/linux/debian/copyright ${Q417_DEB_DOC}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/q417)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME q417)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Q417 developers")
set(CPACK_PACKAGE_CONTACT "Q417 developers <dev@q417.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for Q417 USB gaming peripherals")
# The synopsis line is the summary above; this is the long description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Q417 sets up Q417 gaming mice and their wireless receivers: DPI stages,
polling rate, button assignments, macros, recoil sequences, lighting and
profiles. The package holds the desktop program q417, the command-line tool
q417ctl and a udev rule that gives the local user access to the devices.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
# Qt loads its SVG image and icon plugins at run time, where dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/data/linux/debian/postinst;${PROJECT_SOURCE_DIR}/data/linux/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
include(CPack)
