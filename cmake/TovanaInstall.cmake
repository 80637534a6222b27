# What `cmake --install` puts beside the two Linux programs, and with TOVANA_PACKAGE the manual
# pages and the Debian package (`cpack`). Every version and date comes from project(VERSION)
# and TOVANA_RELEASE_DATE.
include(GNUInstallDirs)

set(TOVANA_MAINTAINER "Korvel <tovana@korvel.example>")
set(TOVANA_SUMMARY "strip diacritics from the names of files and folders")
set(res "${PROJECT_SOURCE_DIR}/res")
set(generated "${PROJECT_BINARY_DIR}/res")
# The release date as the changelog and the manual pages write it, and as a time stamp.
execute_process(COMMAND date -u -R -d "${TOVANA_RELEASE_DATE}"
                OUTPUT_VARIABLE TOVANA_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND date -u +%s -d "${TOVANA_RELEASE_DATE}"
                OUTPUT_VARIABLE release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

if(TOVANA_BUILD_UI)
  install(FILES "${res}/tovana.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  # The file managers' context menus of a folder: Dolphin's service menu, Nemo's actions.
  install(FILES "${res}/tovana-dolphin.desktop" RENAME tovana.desktop
          DESTINATION "${CMAKE_INSTALL_DATADIR}/kio/servicemenus")
  install(FILES "${res}/tovana.nemo_action" "${res}/tovana-background.nemo_action"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/nemo/actions")
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES "${res}/icons/${size}x${size}/tovana.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  configure_file("${res}/example.korvel.tovana.metainfo.xml.in"
                 "${generated}/example.korvel.tovana.metainfo.xml" @ONLY)
  install(FILES "${generated}/example.korvel.tovana.metainfo.xml"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
endif()
install(FILES "${res}/tovana-cli.bash" RENAME tovana-cli
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")

if(NOT TOVANA_PACKAGE)
  return()
endif()

# Manual pages and the changelog, compressed as Debian keeps them (no time stamp in the gzip
# header). tovana-cli's page is made from its own --help, so it lists the options it has.
find_program(HELP2MAN help2man REQUIRED)
configure_file("${res}/Tovana.1.in" "${generated}/Tovana.1" @ONLY)
configure_file("${res}/changelog.in" "${generated}/changelog" @ONLY)
file(CONFIGURE OUTPUT "${generated}/tovana-cli.h2m" CONTENT "[ENVIRONMENT]
.TP
.B XDG_CONFIG_HOME
The folder of the settings file read by \\-\\-saved (~/.config when not set).
.TP
.B XDG_STATE_HOME
The folder of the journals (~/.local/state when not set).
.TP
.BR LANG \", \" LC_MESSAGES \", \" LC_ALL
A Czech locale (cs_CZ.UTF\\-8) gives the messages, the help and the times of
\\-\\-history in Czech; the summary is in Czech always.
[SEE ALSO]
.BR Tovana (1),
the same renaming in a window.
")
add_custom_command(
  OUTPUT "${generated}/tovana-cli.1.gz"
  # The settings file named as its user's, not the builder's.
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${release_epoch} --unset=XDG_CONFIG_HOME
          --unset=XDG_STATE_HOME --unset=LC_ALL --unset=LC_MESSAGES --unset=LANGUAGE LANG=C.UTF-8
          "HOME=~" "${HELP2MAN}" --no-info --no-discard-stderr --locale=C.UTF-8 --section=1
          "--name=${TOVANA_SUMMARY}"
          "--include=${generated}/tovana-cli.h2m" --output=${generated}/tovana-cli.1
          $<TARGET_FILE:tovana-cli>
  # help2man knows no "Exit status:" heading: it becomes the section man pages have for it.
  COMMAND sed -i "s/^\\.SS \"Exit status:\"$/.SH \"EXIT STATUS\"/" "${generated}/tovana-cli.1"
  COMMAND gzip -9nf "${generated}/tovana-cli.1"
  DEPENDS tovana-cli "${generated}/tovana-cli.h2m"
  COMMENT "Manual page of tovana-cli from its --help" VERBATIM)
add_custom_command(
  OUTPUT "${generated}/Tovana.1.gz" "${generated}/changelog.gz"
  COMMAND gzip -9nkf "${generated}/Tovana.1" "${generated}/changelog"
  DEPENDS "${generated}/Tovana.1" "${generated}/changelog")
add_custom_target(tovana_package_docs ALL
  DEPENDS "${generated}/tovana-cli.1.gz" "${generated}/Tovana.1.gz" "${generated}/changelog.gz")
install(FILES "${generated}/tovana-cli.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
if(TOVANA_BUILD_UI)
  install(FILES "${generated}/Tovana.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  # The window also answers to a lower-case command, as desktop programs are named, with the
  # same manual page.
  file(CREATE_LINK Tovana "${generated}/tovana" SYMBOLIC)
  file(CREATE_LINK Tovana.1.gz "${generated}/tovana.1.gz" SYMBOLIC)
  install(FILES "${generated}/tovana" DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES "${generated}/tovana.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()
install(FILES "${res}/copyright" "${generated}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/tovana")
install(FILES "${res}/tovana.lintian-overrides" RENAME tovana
        DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides")

# The Debian package tovana_<version>_<arch>.deb. The libraries it needs (Qt's, with its X11
# plugin, utf8proc, the C++ runtime) are found by dpkg-shlibdeps; added by hand is what no linked
# library names: the fonts the window is laid out for and Qt's own Czech texts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovana)
set(CPACK_PACKAGE_VENDOR Korvel)
set(CPACK_PACKAGE_CONTACT "${TOVANA_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.korvel.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-translations-l10n, fonts-dejavu-core, fonts-dejavu-extra")
# "Otevřít složku" hands the folder to xdg-open; without it the window says it cannot.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TOVANA_SUMMARY}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# The first line of the description is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tovana cleans up the names of files and folders for Czech users: it strips
the diacritics of Central European letters (č, ř, ž, ů become c, r, z, u)
and, on request, replaces or removes spaces and underscores, turns other
characters into underscores and changes the letter case. It never replaces
an existing file.
.
The package holds the window, Tovana, and the same renaming for scripts,
tovana-cli.")
set(CPACK_OUTPUT_FILE_PREFIX "${PROJECT_SOURCE_DIR}/dist")
include(CPack)
