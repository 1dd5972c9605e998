# What an installation holds beside the executable (the executable's own install rule is with its
# target): the change history, the desktop entry, the icons, the AppStream metadata, the manual page
# and the Debian copyright and changelog; and the Debian package that CPack makes of it
# (scripts/package).
include(GNUInstallDirs)
find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)

set(BRINDLECAST_HOMEPAGE "https://brindlecast.example/" CACHE STRING
  "The program's web page, named in the package and its AppStream metadata (ends with /)")
set(BRINDLECAST_MAINTAINER "Brindlecast developers <brindlecast@users.noreply.example>" CACHE STRING
  "The package's maintainer, as \"Name <mail>\"")
# The newest release is dated by the build; SOURCE_DATE_EPOCH, when set, fixes that date.
string(TIMESTAMP BRINDLECAST_RELEASE_DATE "%Y-%m-%d" UTC)

# Directories the installation makes are world-readable whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(resources ${PROJECT_SOURCE_DIR}/resources)
set(generated ${CMAKE_BINARY_DIR}/installed)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/brindlecast)

# The AppStream metadata and the Debian changelog carry the releases of the change history.
add_custom_command(
  OUTPUT ${generated}/brindlecast.metainfo.xml ${generated}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/PackageMetadata.py ${resources}/doc/index.html
          --date ${BRINDLECAST_RELEASE_DATE} --maintainer ${BRINDLECAST_MAINTAINER}
          --metainfo ${resources}/brindlecast.metainfo.xml.in ${generated}/brindlecast.metainfo.xml
          --substitute BRINDLECAST_APPSTREAM_ID=brindlecast
          --substitute BRINDLECAST_HOMEPAGE=${BRINDLECAST_HOMEPAGE}
          --changelog ${generated}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/PackageMetadata.py ${resources}/doc/index.html
          ${resources}/brindlecast.metainfo.xml.in
  COMMENT "Writing the release records of the change history"
  VERBATIM)

set(BRINDLECAST_VERSION ${PROJECT_VERSION})
configure_file(${resources}/brindlecast.1 ${generated}/brindlecast.1 @ONLY)
add_custom_command(
  OUTPUT ${generated}/brindlecast.1.gz
  COMMAND gzip -9 -n -k -f ${generated}/brindlecast.1
  DEPENDS ${generated}/brindlecast.1
  COMMENT "Compressing the manual page"
  VERBATIM)

add_custom_target(brindlecast_installed_files ALL DEPENDS
  ${generated}/brindlecast.metainfo.xml ${generated}/changelog.gz ${generated}/brindlecast.1.gz)

# The change-history window finds the document here, from the executable's place.
install(FILES ${resources}/doc/index.html DESTINATION ${BRINDLECAST_INSTALLED_DOC_DIR})
install(FILES ${resources}/brindlecast.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${resources}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${generated}/brindlecast.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${generated}/brindlecast.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${resources}/debian/copyright ${generated}/changelog.gz DESTINATION ${docdir})

# The Debian package. Its version has no Debian revision: the package is made here, from our own
# sources, so it is a native one.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlecast)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${BRINDLECAST_MAINTAINER})
set(CPACK_PACKAGE_VENDOR "Brindlecast developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${BRINDLECAST_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BRINDLECAST_HOMEPAGE})
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the executable links come from dpkg-shlibdeps; what it loads by name is added here:
# Qt's Russian translations for the standard dialogs, and the fonts the windows ask for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console for MySQL and MariaDB servers")
# The synopsis comes from the summary; this is the extended description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Brindlecast is a desktop console for MySQL and MariaDB servers. Each
connection lives in a tab with a query pane, where SQL is typed, and a
transcript, where every statement is echoed and followed by its outcome as a
text table, coloured by an SQL highlighter. Statements run in the background
and can be cancelled on the server; each tab keeps its own history.
.
The program speaks Russian.")
include(CPack)
