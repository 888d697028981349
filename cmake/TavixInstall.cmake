# Install layout (GNUInstallDirs) and the two Debian packages built by CPack:
# `tavix` (client, updater, desktop entry, icons, AppStream data, man pages) and
# `quorvexd` (server, systemd unit, environment file, man page, system user).
include(GNUInstallDirs)

set(TAVIX_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TAVIX_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
# The project version is a release date (YYYY.MM.DD); man pages and release notes carry it.
string(REPLACE "." "-" TAVIX_RELEASE_DATE "${PROJECT_VERSION}")
execute_process(COMMAND date -u -R -d "${TAVIX_RELEASE_DATE} 00:00:00Z"
    OUTPUT_VARIABLE TAVIX_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_PACKAGE_CONTACT "Tavix developers <tavix@quorvex.invalid>" CACHE STRING "Maintainer of the packages")

# The environment file and the unit are placed by the prefix in force when installing, as
# GNUInstallDirs would place them: the prefix /usr (the packages) means /etc and the unit
# folder of this system's packaged units, any other prefix keeps both under it.
function(tavix_install_system_file source system_dir prefixed_dir name component)
    install(CODE "
        if(CMAKE_INSTALL_PREFIX STREQUAL /usr)
            set(tavix_dir ${system_dir})
        else()
            set(tavix_dir \"\${CMAKE_INSTALL_PREFIX}/${prefixed_dir}\")
        endif()
        file(INSTALL DESTINATION \"\${tavix_dir}\" TYPE FILE RENAME ${name} FILES \"${source}\")
        " COMPONENT ${component})
endfunction()

# Man pages and changelogs are compressed as Debian wants them (gzip -9n: no name, no time).
set(TAVIX_GZIPPED)
function(tavix_gzip_configured source output)
    configure_file(${source} ${TAVIX_PACKAGING_OUT}/${output} @ONLY)
    add_custom_command(OUTPUT ${TAVIX_PACKAGING_OUT}/${output}.gz
        COMMAND gzip -9nkf ${output}
        WORKING_DIRECTORY ${TAVIX_PACKAGING_OUT}
        DEPENDS ${TAVIX_PACKAGING_OUT}/${output} ${source}
        VERBATIM)
    set(TAVIX_GZIPPED ${TAVIX_GZIPPED} ${TAVIX_PACKAGING_OUT}/${output}.gz PARENT_SCOPE)
endfunction()

set(TAVIX_COMPONENTS quorvexd)
if(TAVIX_BUILD_GUI)
    list(PREPEND TAVIX_COMPONENTS tavix)
endif()

foreach(component ${TAVIX_COMPONENTS})
    set(TAVIX_PACKAGE ${component})
    tavix_gzip_configured(${TAVIX_PACKAGING_DIR}/changelog.in changelog-${component})
    install(FILES ${TAVIX_PACKAGING_OUT}/changelog-${component}.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} RENAME changelog.gz COMPONENT ${component})
    install(FILES ${TAVIX_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${component})
endforeach()

# The server.
install(TARGETS quorvexd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvexd)
tavix_gzip_configured(${TAVIX_PACKAGING_DIR}/man/quorvexd.8 quorvexd.8)
install(FILES ${TAVIX_PACKAGING_OUT}/quorvexd.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT quorvexd)
tavix_install_system_file(${TAVIX_PACKAGING_DIR}/quorvexd.service
    /lib/systemd/system lib/systemd/system quorvexd.service quorvexd)
tavix_install_system_file(${TAVIX_PACKAGING_DIR}/quorvexd.default /etc/default etc/default quorvexd quorvexd)

# The client and the updater.
if(TAVIX_BUILD_GUI)
    install(TARGETS Tavix update RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tavix)
    foreach(page Tavix.1 update.1)
        tavix_gzip_configured(${TAVIX_PACKAGING_DIR}/man/${page} ${page})
        install(FILES ${TAVIX_PACKAGING_OUT}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tavix)
    endforeach()
    install(FILES ${TAVIX_PACKAGING_DIR}/org.quorvex.Tavix.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tavix)
    configure_file(${TAVIX_PACKAGING_DIR}/org.quorvex.Tavix.metainfo.xml
        ${TAVIX_PACKAGING_OUT}/org.quorvex.Tavix.metainfo.xml @ONLY)
    install(FILES ${TAVIX_PACKAGING_OUT}/org.quorvex.Tavix.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT tavix)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT tavix)
endif()

add_custom_target(tavix_packaging_files ALL DEPENDS ${TAVIX_GZIPPED})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavix developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed with DESTDIR and the prefix /usr, so /etc and the unit folder land right.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TAVIX_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_TAVIX_PACKAGE_NAME tavix)
set(CPACK_DEBIAN_TAVIX_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_TAVIX_DESCRIPTION "trading client of the Quorvex simulated stock contest
Tavix (操盘终端) logs in to a Quorvex contest server, shows a five-level
quote, buys, sells and cancels, and follows funds, positions, orders,
trades and history in a Chinese user interface. The package also holds
update, the program that downloads a new client version.")

set(CPACK_DEBIAN_QUORVEXD_PACKAGE_NAME quorvexd)
set(CPACK_DEBIAN_QUORVEXD_PACKAGE_SECTION net)
# adduser creates the service's user; the libraries are computed by dpkg-shlibdeps.
set(CPACK_DEBIAN_QUORVEXD_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_QUORVEXD_PACKAGE_CONTROL_EXTRA
    ${TAVIX_PACKAGING_DIR}/deb/quorvexd/postinst
    ${TAVIX_PACKAGING_DIR}/deb/quorvexd/prerm
    ${TAVIX_PACKAGING_DIR}/deb/quorvexd/postrm
    ${TAVIX_PACKAGING_DIR}/deb/quorvexd/conffiles)
set(CPACK_DEBIAN_QUORVEXD_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_QUORVEXD_DESCRIPTION "server of the Quorvex simulated stock-trading contest
quorvexd keeps the contest's accounts in SQLite, simulates or replays the
market, matches orders with the exchange's rules and serves the Tavix
clients. The package runs it as the systemd service quorvexd.service under
its own system user, with its state in /var/lib/quorvexd and its options
in /etc/default/quorvexd.")

include(CPack)
