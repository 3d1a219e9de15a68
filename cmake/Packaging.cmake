# Installation and the Debian package (./korva.sh package):
#   /usr/lib/vst/korva.so               where Ardour, Qtractor and Carla look
#   /usr/lib/lv2/korva.lv2/             the LV2 bundle
#   /usr/bin/korva-host                 with its man page
#   /usr/libexec/korva/korva-host-validate  what `korva-host validate` runs
#   /usr/share/korva/presets/*.fxp      the factory presets
#   /usr/share/doc/korva/               README, copyright, changelog
# Installing builds nothing: build korva, korva_lv2, korva-host,
# korva-host-validate, factory_presets and korva_package_files first (the deb target does).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(KORVA_PACKAGE_MAINTAINER "VEK-sonimark <korva@vek-sonimark.com>"
  CACHE STRING "Maintainer field of the Debian package")
set(korva_pkg ${PROJECT_BINARY_DIR}/package)

# The changelog's date and every file's time in the package are the
# commit's, so the same source gives the same package (SOURCE_DATE_EPOCH,
# when set, wins).
set(KORVA_RELEASE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(NOT KORVA_RELEASE_EPOCH)
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE KORVA_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT KORVA_RELEASE_EPOCH MATCHES "^[0-9]+$")
  string(TIMESTAMP KORVA_RELEASE_EPOCH "%s" UTC)
endif()
set(korva_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${KORVA_RELEASE_EPOCH})
string(TIMESTAMP KORVA_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${korva_saved_epoch}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${korva_pkg}/changelog @ONLY)

# Debian wants man pages and changelogs compressed with gzip -9 and no
# timestamp in them. Korva is its own upstream: a native package, whose
# changelog is changelog.gz.
set(korva_gzipped "")
foreach(pair
    "${PROJECT_SOURCE_DIR}/docs/korva-host.1|korva-host.1.gz"
    "${korva_pkg}/changelog|changelog.gz"
    "${PROJECT_SOURCE_DIR}/README.md|README.md.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(OUTPUT ${korva_pkg}/${to}
    COMMAND gzip -9 -n -c ${from} > ${korva_pkg}/${to}
    DEPENDS ${from} VERBATIM)
  list(APPEND korva_gzipped ${korva_pkg}/${to})
endforeach()
add_custom_target(korva_package_files ALL DEPENDS ${korva_gzipped})

install(TARGETS korva LIBRARY DESTINATION lib/vst)
install(TARGETS korva_lv2 LIBRARY DESTINATION lib/lv2/korva.lv2)
install(FILES ${KORVA_LV2_BUNDLE}/manifest.ttl ${KORVA_LV2_BUNDLE}/korva.ttl
  ${KORVA_LV2_BUNDLE}/presets.ttl DESTINATION lib/lv2/korva.lv2)
install(TARGETS korva-host RUNTIME DESTINATION bin)
install(TARGETS korva-host-validate RUNTIME DESTINATION libexec/korva)
install(FILES ${korva_pkg}/korva-host.1.gz DESTINATION share/man/man1)
# Globbed when installing: the factory_presets target writes them.
install(CODE "file(GLOB korva_fxp \"${PROJECT_BINARY_DIR}/presets/*.fxp\")
  file(INSTALL \${korva_fxp} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/korva/presets\")")
install(FILES ${korva_pkg}/README.md.gz ${korva_pkg}/changelog.gz
  ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION share/doc/korva)

# The package: `cmake --build DIR --target deb` writes korva_<version>_<arch>.deb
# into DIR. CPack's DEB generator is not used: it adds an ldconfig call to
# every package with a .so under /usr/lib, which the plug-in folders are not
# for, and lintian rightly flags it.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE KORVA_DEB_ARCH
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT KORVA_DEB_ARCH)
  set(KORVA_DEB_ARCH amd64)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/control.in ${korva_pkg}/control.in @ONLY)
set(KORVA_DEB ${PROJECT_BINARY_DIR}/korva_${PROJECT_VERSION}_${KORVA_DEB_ARCH}.deb)
add_custom_target(deb
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${korva_pkg}/root ${KORVA_DEB}
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${korva_pkg}/root
          ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix /usr
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KORVA_RELEASE_EPOCH}
          ${PROJECT_SOURCE_DIR}/cmake/debian/make-deb.sh ${korva_pkg}/root ${korva_pkg}/control.in
          ${KORVA_DEB}
  VERBATIM)
add_dependencies(deb korva korva_lv2 korva-host korva-host-validate factory_presets
  korva_package_files)
