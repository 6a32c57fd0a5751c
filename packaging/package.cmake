# What `cmake --install` puts where, and the Debian package built from it with
# `cpack -G DEB` in the build folder: the three programs, the desktop entry and its icon,
# the manual pages and the systemd units found in this folder.

include(GNUInstallDirs)

set(dovrant_programs dovrant-http dovrant-mime)
if(TARGET quillbern-dovrant)
  list(PREPEND dovrant_programs quillbern-dovrant)
endif()
install(TARGETS ${dovrant_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(dovrant_packaging ${CMAKE_CURRENT_LIST_DIR})
install(FILES ${dovrant_packaging}/quillbern-dovrant.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dovrant_packaging}/quillbern-dovrant.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

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
install(FILES ${dovrant_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Units of a user's session and of the system, whichever are present.
file(GLOB dovrant_user_units CONFIGURE_DEPENDS ${dovrant_packaging}/*.service)
file(GLOB dovrant_system_units CONFIGURE_DEPENDS ${dovrant_packaging}/system/*.service)
if(dovrant_user_units)
  install(FILES ${dovrant_user_units} DESTINATION lib/systemd/user)
endif()
if(dovrant_system_units)
  install(FILES ${dovrant_system_units} DESTINATION lib/systemd/system)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbern-dovrant)
set(CPACK_PACKAGE_VENDOR "Quillbern Dovrant")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillbern Dovrant maintainers <maintainers@quillbern-dovrant.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop message-exchange gateway over a web-mail service")
set(CPACK_PACKAGE_DESCRIPTION
    "Files that other programs drop into the Outbox are uploaded to a web-mail service over \
HTTPS and moved to the Sentbox. On a schedule the company's web mailbox is read and the \
attachments of each message are stored in the Inbox. Every action is logged and old files \
are purged. Includes dovrant-http and dovrant-mime for checking connections and messages, \
and systemd units for running the gateway without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the programs use (Qt, OpenSSL, libcurl, the C++ run-time) become the
# package's dependencies through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Folders are opened with xdg-open; server certificates are checked against the system's
# trust store.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, ca-certificates")
if(dovrant_system_units)
  # The system unit's own user is made on installation.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${dovrant_packaging}/debian/postinst)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
