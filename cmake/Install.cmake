# Install rules and the Debian package: `cmake --install BUILD` lays the program
# out as a desktop application under the prefix, and `cpack -G DEB` in BUILD
# packs the same layout for /usr. An installed copy finds its shipped files in
# <prefix>/share/brindlewatch and keeps each user's records under
# XDG_DATA_HOME, so nothing here writes into a user's folder.
include(GNUInstallDirs)

# The desktop entry and the AppStream component share this reverse-DNS name,
# as AppStream wants; the window's X11 class stays "brindlewatch".
set(BW_APP_ID example.kestrix.brindlewatch)
# The date of the release named by PROJECT_VERSION, for the AppStream release,
# the manual pages and the Debian changelog. Change it with the version.
set(BW_RELEASE_DATE 2026-12-07)
# The repository states no license; this names the terms the program ships
# under (free of charge, donations asked) until the owner chooses one. The
# text of the terms is in packaging/debian/copyright.in.
set(BW_PROJECT_LICENSE LicenseRef-Kestrix-Freeware)

# The web site and forums are written once, in the program's own facts.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/platform/AppInfo.h bw_site_line REGEX "WebSite\\[\\] = u\"")
string(REGEX REPLACE ".*u\"([^\"]+)\".*" "\\1" BW_WEB_SITE "${bw_site_line}")
file(STRINGS ${CMAKE_SOURCE_DIR}/src/platform/AppInfo.h bw_forums_line REGEX "Forums\\[\\] = u\"")
string(REGEX REPLACE ".*u\"([^\"]+)\".*" "\\1" BW_FORUMS "${bw_forums_line}")
file(STRINGS ${CMAKE_SOURCE_DIR}/src/platform/AppInfo.h bw_mail_line REGEX "SupportEmail\\[\\] = u\"")
string(REGEX REPLACE ".*u\"([^\"]+)\".*" "\\1" BW_SUPPORT_EMAIL "${bw_mail_line}")
set(CPACK_PACKAGE_CONTACT "Kestrix <${BW_SUPPORT_EMAIL}>")

# A Debian changelog dates its entry as RFC 2822 does, weekday included, and
# CMake cannot read a given date, so the weekday is worked out here (Zeller).
string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" bw_date_ok "${BW_RELEASE_DATE}")
if(NOT bw_date_ok)
  message(FATAL_ERROR "BW_RELEASE_DATE must be YYYY-MM-DD, not '${BW_RELEASE_DATE}'")
endif()
math(EXPR bw_year "${CMAKE_MATCH_1}")
math(EXPR bw_month "1${CMAKE_MATCH_2} - 100")
math(EXPR bw_day "1${CMAKE_MATCH_3} - 100")
set(bw_y ${bw_year})
set(bw_m ${bw_month})
if(bw_m LESS 3)
  math(EXPR bw_m "${bw_m} + 12")
  math(EXPR bw_y "${bw_y} - 1")
endif()
math(EXPR bw_weekday "(${bw_day} + (13 * (${bw_m} + 1)) / 5 + ${bw_y} % 100 + (${bw_y} % 100) / 4 + (${bw_y} / 100) / 4 + 5 * (${bw_y} / 100)) % 7")
set(bw_weekday_names Sat Sun Mon Tue Wed Thu Fri)
list(GET bw_weekday_names ${bw_weekday} bw_weekday_name)
set(bw_month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR bw_month_index "${bw_month} - 1")
list(GET bw_month_names ${bw_month_index} bw_month_name)
string(SUBSTRING "${CMAKE_MATCH_3}" 0 2 bw_day_2)
set(BW_RELEASE_RFC2822 "${bw_weekday_name}, ${bw_day_2} ${bw_month_name} ${bw_year} 12:00:00 +0000")

set(bw_pack ${CMAKE_SOURCE_DIR}/packaging)
set(bw_out ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS brindlewatch brindlewatch-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripping install (cpack strips) also drops the compilers' notes, as
# Debian's own packaging does; lintian reports them otherwise.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"${CMAKE_STRIP}\")
    foreach(program brindlewatch brindlewatch-cli)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()
")

# The same files the build puts beside its executable; an installed copy
# copies the first four into each user's folder at first start.
install(FILES
  ${CMAKE_SOURCE_DIR}/data/logo.gif
  ${CMAKE_SOURCE_DIR}/data/template_page.txt
  ${CMAKE_SOURCE_DIR}/data/template_item.txt
  ${CMAKE_SOURCE_DIR}/data/category.txt
  "${CMAKE_SOURCE_DIR}/data/Read Me.txt"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/brindlewatch)

install(FILES ${bw_pack}/${BW_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${bw_pack}/${BW_APP_ID}.metainfo.xml.in ${bw_out}/${BW_APP_ID}.metainfo.xml @ONLY)
install(FILES ${bw_out}/${BW_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The two smallest icons are the program's own pixel art, the one its window
# shows; the larger ones are drawn from the SVG by packaging/icons/render.sh.
set(bw_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
foreach(size 16 32)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/brindlewatch-${size}.png
          DESTINATION ${bw_icons}/${size}x${size}/apps RENAME brindlewatch.png)
endforeach()
foreach(size 22 24 48 64 128 256)
  install(FILES ${bw_pack}/icons/hicolor/${size}x${size}/apps/brindlewatch.png
          DESTINATION ${bw_icons}/${size}x${size}/apps)
endforeach()
install(FILES ${bw_pack}/icons/brindlewatch.svg DESTINATION ${bw_icons}/scalable/apps)

install(FILES ${bw_pack}/completion/brindlewatch-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Debian wants manual pages and changelogs compressed with no name or time
# stamp in the header, so that the package builds the same each time.
set(bw_gzipped)
foreach(page brindlewatch brindlewatch-cli)
  configure_file(${bw_pack}/man/${page}.1.in ${bw_out}/man/${page}.1 @ONLY)
  list(APPEND bw_gzipped man/${page}.1)
endforeach()
configure_file(${bw_pack}/debian/changelog.in ${bw_out}/debian/changelog @ONLY)
configure_file(${bw_pack}/debian/copyright.in ${bw_out}/debian/copyright @ONLY)
list(APPEND bw_gzipped debian/changelog)
set(bw_gzip_outputs)
foreach(file IN LISTS bw_gzipped)
  add_custom_command(OUTPUT ${bw_out}/${file}.gz
    COMMAND gzip -9 -n -c ${bw_out}/${file} > ${bw_out}/${file}.gz
    DEPENDS ${bw_out}/${file}
    VERBATIM)
  list(APPEND bw_gzip_outputs ${bw_out}/${file}.gz)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${bw_gzip_outputs})
# So that building just the programs also leaves everything an install needs.
add_dependencies(brindlewatch packaging_files)
install(FILES ${bw_out}/man/brindlewatch.1.gz ${bw_out}/man/brindlewatch-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Debian names the folder after the package; GNUInstallDirs would use the
# project's name, capital letter and all.
set(bw_doc ${CMAKE_INSTALL_DATADIR}/doc/brindlewatch)
install(FILES ${bw_out}/debian/copyright DESTINATION ${bw_doc})
# A package whose version has no Debian revision is native, and lintian looks
# for a native package's changelog under this name.
install(FILES ${bw_out}/debian/changelog.gz DESTINATION ${bw_doc})
install(FILES ${bw_pack}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME brindlewatch)

# Reminders: a systemd user timer runs a small script each minute. The script
# finds brindlewatch-cli by the way from its own folder to the programs' one,
# so it needs no prefix; the unit needs the script's whole path, which is
# known only when installing (cpack installs under another prefix than the
# build was configured with).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBEXECDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  file(RELATIVE_PATH BW_REMIND_TO_BIN ${CMAKE_INSTALL_FULL_LIBEXECDIR}/brindlewatch ${CMAKE_INSTALL_FULL_BINDIR})
else()
  file(RELATIVE_PATH BW_REMIND_TO_BIN /prefix/${CMAKE_INSTALL_LIBEXECDIR}/brindlewatch /prefix/${CMAKE_INSTALL_BINDIR})
endif()
configure_file(${bw_pack}/systemd/brindlewatch-remind.in ${bw_out}/systemd/brindlewatch-remind @ONLY)
install(PROGRAMS ${bw_out}/systemd/brindlewatch-remind DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/brindlewatch)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBEXECDIR}")
  set(bw_remind_at "${CMAKE_INSTALL_LIBEXECDIR}/brindlewatch/brindlewatch-remind")
else()
  set(bw_remind_at "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/brindlewatch/brindlewatch-remind")
endif()
# The user units go where systemd's user manager looks for a package's
# units: lib/systemd/user under the prefix, whatever the library folder is.
install(CODE "
  set(BW_REMIND_FULL_PATH \"${bw_remind_at}\")
  configure_file(\"${bw_pack}/systemd/brindlewatch-reminders.service.in\"
                 \"${bw_out}/systemd/brindlewatch-reminders.service\" @ONLY)
  file(INSTALL \"${bw_out}/systemd/brindlewatch-reminders.service\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\"
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
")
install(FILES ${bw_pack}/systemd/brindlewatch-reminders.timer DESTINATION lib/systemd/user)

# Sync: a systemd user timer runs "brindlewatch-cli sync" every five minutes.
# Its unit names the tool by its whole path, known only when installing, as
# the reminders' unit names its script.
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  set(bw_cli_at "${CMAKE_INSTALL_BINDIR}/brindlewatch-cli")
else()
  set(bw_cli_at "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/brindlewatch-cli")
endif()
install(CODE "
  set(BW_CLI_FULL_PATH \"${bw_cli_at}\")
  configure_file(\"${bw_pack}/systemd/brindlewatch-sync.service.in\"
                 \"${bw_out}/systemd/brindlewatch-sync.service\" @ONLY)
  file(INSTALL \"${bw_out}/systemd/brindlewatch-sync.service\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\"
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
")
install(FILES ${bw_pack}/systemd/brindlewatch-sync.timer DESTINATION lib/systemd/user)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlewatch)
set(CPACK_PACKAGE_VENDOR Kestrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "organiser of appointments and to-do items in one small window")
set(CPACK_PACKAGE_DESCRIPTION "Brindlewatch is a single-user desktop organiser: one small window with a
month calendar, the selected day's appointments and a to-do list. Every
change is saved at once, and the record files are backed up at every start.

The command-line companion, brindlewatch-cli, shows the day's agenda, lists
and searches the records, imports and exports iCalendar files, syncs them
both ways with a CalDAV server, and checks and restores the record files.
Two systemd user timers, off until a user turns them on, show appointments
as they start with notify-send and sync every five minutes.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BW_WEB_SITE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libnotify-bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
