# What `cmake --install` puts where, and the two Debian packages built from it with
# `cpack -G DEB` in the build folder:
#   quillbern-dovrant-daemon  the daemon, dovrant-http, dovrant-mime, the systemd units and
#                             the manual pages: no toolkit, what a server installs;
#   quillbern-dovrant         the window program, its desktop entry and icon; needs the first.

include(GNUInstallDirs)

install(TARGETS quillbern-dovrantd dovrant-http dovrant-mime
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT daemon)
set(dovrant_packaging ${CMAKE_CURRENT_LIST_DIR})
if(TARGET quillbern-dovrant)
  install(TARGETS quillbern-dovrant RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
  install(FILES ${dovrant_packaging}/quillbern-dovrant.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
  install(FILES ${dovrant_packaging}/quillbern-dovrant.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)
endif()

# Manual pages are shipped compressed, with no name or time stamp in the gzip header, so
# two builds of the same sources give the same package.
find_program(GZIP_PROGRAM gzip REQUIRED)
file(GLOB dovrant_man_sources CONFIGURE_DEPENDS ${dovrant_packaging}/man/*.1)
set(dovrant_man_pages)
foreach(page ${dovrant_man_sources})
  get_filename_component(name ${page} NAME)
  set(out ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9nc ${page} > ${out}
    DEPENDS ${page} VERBATIM)
  list(APPEND dovrant_man_pages ${out})
endforeach()
add_custom_target(dovrant_man_pages ALL DEPENDS ${dovrant_man_pages})
install(FILES ${dovrant_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT daemon)

# Units of a user's session and of the system, whichever are present.
file(GLOB dovrant_user_units CONFIGURE_DEPENDS ${dovrant_packaging}/*.service)
file(GLOB dovrant_system_units CONFIGURE_DEPENDS ${dovrant_packaging}/system/*.service)
if(dovrant_user_units)
  install(FILES ${dovrant_user_units} DESTINATION lib/systemd/user COMPONENT daemon)
endif()
if(dovrant_system_units)
  install(FILES ${dovrant_system_units} DESTINATION lib/systemd/system COMPONENT daemon)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbern-dovrant)
set(CPACK_PACKAGE_VENDOR "Quillbern Dovrant")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillbern Dovrant maintainers <maintainers@quillbern-dovrant.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL daemon)
if(TARGET quillbern-dovrant)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries each package's programs use (OpenSSL and the C++ run-time;
# Qt for the window) become its dependencies through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_DAEMON_PACKAGE_NAME quillbern-dovrant-daemon)
set(CPACK_COMPONENT_DAEMON_DESCRIPTION
    "message-exchange gateway over a web-mail service (daemon)
Files that other programs drop into the Outbox are uploaded to a web-mail service over
HTTPS and moved to the Sentbox. On a schedule the company's web mailbox is read and the
attachments of each message are stored in the Inbox. Every action is logged and old files
are purged. This package holds the gateway without a window (quillbern-dovrantd) with its
systemd units, and dovrant-http and dovrant-mime for checking connections and messages;
it needs no graphical toolkit.")
# Server certificates are checked against the system's trust store; libcurl is opened only
# by the platform HTTP path, so it is recommended, not required.
set(CPACK_DEBIAN_DAEMON_PACKAGE_RECOMMENDS "ca-certificates, libcurl4")
# Until 1.1.0 one package held everything: its programs and units now come from here.
set(CPACK_DEBIAN_DAEMON_PACKAGE_REPLACES "quillbern-dovrant (<< 1.1.0)")
set(CPACK_DEBIAN_DAEMON_PACKAGE_BREAKS "quillbern-dovrant (<< 1.1.0)")
# The system unit's own user and state folder are made on installation; the service is
# stopped before a removal or an upgrade and started again after the upgrade.
set(CPACK_DEBIAN_DAEMON_PACKAGE_CONTROL_EXTRA
    ${dovrant_packaging}/debian/postinst ${dovrant_packaging}/debian/prerm
    ${dovrant_packaging}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME quillbern-dovrant)
set(CPACK_COMPONENT_WINDOW_DESCRIPTION
    "message-exchange gateway over a web-mail service (window)
The gateway's window: the counters of the Inbox, Outbox and Error folders, sending and
receiving on demand, the options, the log and the failed files, a tray icon, starting with
the desktop session. The gateway itself comes with quillbern-dovrant-daemon.")
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "quillbern-dovrant-daemon (= ${PROJECT_VERSION})")
# Folders are opened with xdg-open.
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
