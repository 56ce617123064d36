# The Debian package, made by `cpack -G DEB` in a build folder (scripts/package): the tree
# of install.cmake under /usr, and the service's own files, which only a package installs
# (component "system", left out of a plain `cmake --install`): the systemd unit, the
# configuration file (a conffile), the changelog and copyright, and the maintainer
# scripts that set the machine up in /var/lib/quillmere.
set(quillmere_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(quillmere_package_doc ${CMAKE_CURRENT_BINARY_DIR}/package)
# Not a native package: the Debian revision follows the version.
set(QUILLMERE_DEB_REVISION 1)
set(QUILLMERE_VERSION ${PROJECT_VERSION}-${QUILLMERE_DEB_REVISION})
configure_file(${quillmere_packaging}/changelog.Debian.in
               ${quillmere_package_doc}/changelog.Debian @ONLY)
# -n: no name or time in the header, so the same changelog makes the same file.
execute_process(COMMAND gzip -9nkf ${quillmere_package_doc}/changelog.Debian
                COMMAND_ERROR_IS_FATAL ANY)
file(WRITE ${quillmere_package_doc}/conffiles "/etc/quillmere/serve.conf\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${quillmere_packaging}/changelog.Debian.in)

install(FILES ${quillmere_packaging}/quillmere.service DESTINATION /lib/systemd/system
        COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${quillmere_packaging}/serve.conf DESTINATION /etc/quillmere
        COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${quillmere_packaging}/copyright ${quillmere_package_doc}/changelog.Debian.gz
              ${PROJECT_SOURCE_DIR}/docs/operations.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmere COMPONENT system EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillmere maintainers")
set(CPACK_PACKAGE_CONTACT
    "Quillmere maintainers <maintainers@users.noreply.c-seed-b1b5363e.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "administrative module of the Quillmere statistics server, served over SOAP")
set(CPACK_PACKAGE_DESCRIPTION
    "The administrative module of the Quillmere web statistics server and its
SOAP service host. `quillmere serve` runs as the systemd service quillmere,
with its machine (registry, event log, WMI repository, message queues,
users) in /var/lib/quillmere and its options in /etc/quillmere/serve.conf;
it answers /health and Prometheus /metrics. The program `quillmere` has a
command for every other task of an administrator.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Both components in one package.
set(CPACK_COMPONENTS_ALL Unspecified system)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quillmere_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUILLMERE_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillmere.example/")
# The libraries' dependencies from what they link; the scripts' by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, util-linux (>= 2.32)")
# The system's certificate authorities check an amqps:// broker's certificate.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${quillmere_packaging}/postinst ${quillmere_packaging}/prerm ${quillmere_packaging}/postrm
    ${quillmere_package_doc}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
