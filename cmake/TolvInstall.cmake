# Installation and the Debian package.
#
# The program folder lib/tolv-watchdog-timer/ holds the program with everything it loads or
# starts from its own folder; bin/tolv-watchdog-timer is a relative link to the program (the
# program finds its folder through /proc/self/exe, so the link works). Every destination is
# relative, so `cmake --install --prefix P` and DESTDIR move the whole tree. The machine-wide
# parts (group, udev rule, shared folders) are lib/sysusers.d, lib/udev/rules.d and
# lib/tmpfiles.d files that the package's postinst applies.

set(TOLV_PACKAGE_NAME tolv-watchdog-timer)
set(TOLV_PROGRAM_DIR lib/${TOLV_PACKAGE_NAME})
set(TOLV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${TOLV_PACKAGE_NAME})
# The release this version is; the metadata and the package's changelog carry it.
set(TOLV_RELEASE_DATE 2026-12-08)
set(TOLV_RELEASE_DATE_RFC2822 "Tue, 08 Dec 2026 12:00:00 +0000")
set(TOLV_PACKAGE_MAINTAINER "TOLV Watchdog Timer maintainers <maintainers@users.noreply.c-seed-9438ddcf.example>"
    CACHE STRING "The package's maintainer, name <address>")
# No public home yet: the AppStream homepage and screenshot point below this address.
set(TOLV_PROJECT_URL "https://tolv-watchdog-timer.invalid" CACHE STRING
    "Public home of the project; the AppStream screenshot is <url>/screenshot.png")

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(generated ${CMAKE_BINARY_DIR}/packaging)
set(library_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The program folder.
install(TARGETS TolvWatchDogTimer TaskEnroll TolvWdtSVR TolvWatchDogTimerSVR TolvCloseRequest
        RUNTIME DESTINATION ${TOLV_PROGRAM_DIR})
install(TARGETS tlacpi TaskProbe
        LIBRARY DESTINATION ${TOLV_PROGRAM_DIR} PERMISSIONS ${library_permissions})
install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/resource/UI/
        DESTINATION ${TOLV_PROGRAM_DIR}/resource/UI FILES_MATCHING PATTERN "*.png")
install(TARGETS tlacpi-sim-monitor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(CODE "
  set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${TOLV_PACKAGE_NAME}\")
  message(STATUS \"Installing: \${link}\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK ../${TOLV_PROGRAM_DIR}/TolvWatchDogTimer \"\${link}\" SYMBOLIC)")

# The machine: group, device rights, shared folders.
install(FILES ${packaging}/tolv-watchdog-timer.sysusers
        DESTINATION lib/sysusers.d RENAME ${TOLV_PACKAGE_NAME}.conf)
install(FILES ${packaging}/tolv-watchdog-timer.tmpfiles
        DESTINATION lib/tmpfiles.d RENAME ${TOLV_PACKAGE_NAME}.conf)
install(FILES ${packaging}/60-tolv-watchdog.rules DESTINATION lib/udev/rules.d)

# The desktop: entry, metadata (the icons come with tools/skingen), manual pages.
file(READ ${CMAKE_SOURCE_DIR}/docs/screenshot.png screenshot_header OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING ${screenshot_header} 0 8 width_hex)
string(SUBSTRING ${screenshot_header} 8 8 height_hex)
math(EXPR TOLV_SCREENSHOT_WIDTH "0x${width_hex}")
math(EXPR TOLV_SCREENSHOT_HEIGHT "0x${height_hex}")
configure_file(${packaging}/com.tolv.watchdogtimer.metainfo.xml.in
               ${generated}/com.tolv.watchdogtimer.metainfo.xml @ONLY)
install(FILES ${packaging}/tolv-watchdog-timer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${generated}/com.tolv.watchdogtimer.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(gzipped)
foreach(page tolv-watchdog-timer.1 tlacpi-sim-monitor.1)
  add_custom_command(OUTPUT ${generated}/${page}.gz
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${packaging}/${page} ${generated}/${page}.gz
    DEPENDS ${packaging}/${page} VERBATIM)
  list(APPEND gzipped ${generated}/${page}.gz)
  install(FILES ${generated}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# Documentation: copyright, changelog, the automation server's activation file as an example
# only (installed where a session bus looks, it would make every start of the program forward
# to the stand-in server), the screenshot the metadata shows.
configure_file(${packaging}/changelog.in ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.gz
  COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${generated}/changelog ${generated}/changelog.gz
  DEPENDS ${generated}/changelog VERBATIM)
add_custom_target(package-files ALL DEPENDS ${gzipped} ${generated}/changelog.gz)
install(FILES ${packaging}/copyright ${generated}/changelog.gz ${CMAKE_SOURCE_DIR}/docs/screenshot.png
        DESTINATION ${TOLV_DOC_DIR})
install(CODE "
  set(example \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TOLV_DOC_DIR}/examples/TolvWatchDogTimerSVR.WatchDogControl.service\")
  message(STATUS \"Installing: \${example}\")
  file(WRITE \"\${example}\" \"[D-BUS Service]\\nName=TolvWatchDogTimerSVR.WatchDogControl\\nExec=\${CMAKE_INSTALL_PREFIX}/${TOLV_PROGRAM_DIR}/TolvWatchDogTimerSVR\\n\")")

# Everything the installation takes from the build, for building only that.
add_custom_target(installed-files DEPENDS
  TolvWatchDogTimer TaskEnroll TolvWdtSVR TolvWatchDogTimerSVR TolvCloseRequest tlacpi TaskProbe
  tlacpi-sim-monitor skin app-icons package-files)

# The Debian package (make package; cpack -G DEB).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TOLV_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR TOLV)
set(CPACK_PACKAGE_CONTACT ${TOLV_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hardware watchdog switch for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
"A small utility for machines whose mainboard carries a hardware watchdog timer.
It sits in the notification area and shows one small window in which an
administrator switches the watchdog on or off and sets the restart countdown
and the reload period. While the watchdog is on, a time-critical thread keeps
rewriting the countdown, so only a hung machine gets restarted. Sleep, log-off
and shutdown close the watchdog; resume arms it again.
.
Members of the system group tolv-watchdog, which the package creates, may use
/dev/watchdog and the machine-wide settings from their own desktop session.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's X11 platform plugin, the tools
# that apply the group and the shared folders, and the fonts the skin's captions are set in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, systemd | systemd-standalone-sysusers, systemd | systemd-standalone-tmpfiles")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-crosextra-carlito, fonts-urw-base35, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${packaging}/debian/postinst ${packaging}/debian/prerm ${packaging}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
