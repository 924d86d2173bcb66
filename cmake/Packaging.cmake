# The Debian package (make package): CPack's DEB generator over what `cmake --install` places.
# Library dependencies are computed from the binaries by dpkg-shlibdeps; only what the programs
# load at run time without linking to it is named here (Qt's platform plugins).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvelle)
set(CPACK_PACKAGE_VENDOR "Tarvelle developers")
set(CPACK_PACKAGE_CONTACT "Tarvelle developers <maintainers@tarvelle.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move a Eudora address book into an Outlook data file")
# The synopsis is the summary above; CPack indents these lines and turns the empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Tarvelle reads the address book of the Eudora mail program (its nicknames
file) and writes it into a new Outlook personal storage file (.pst): every
nickname with one address becomes a contact, every nickname with several
addresses a distribution list with its members.

The package holds the wizard (tarvelle), a command-line tool for scripted
migrations (tarvelle-export) and a strict checker of .pst files
(tarvelle-verify). Outlook is not needed to write the file.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvelle developers <maintainers@tarvelle.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarvelle.example/tarvelle/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The wizard's look uses Tahoma, which fonts-wine provides; without it Qt's default font is used.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
