# Install rules and packages.
#
# Linux (cmake --install, and the .deb made by CPack):
#   /usr/lib/tarvel/tarvel          the program, with its catalogs beside it in
#   /usr/lib/tarvel/locale/         (where it looks for them)
#   /usr/bin/tarvel                 a relative link to the program
#   /usr/bin/tarvel-reader          the virtual card reader
#   /usr/share/man/man1/            a man page for each, made by help2man
#   /usr/share/doc/tarvel/          copyright, changelog, examples/ (XDG
#                                   autostart entry, systemd user unit)
# Windows: tarvel.exe and locale\ in one folder; the installer made by
# makensis from packaging/windows/tarvel.nsi (target tarvel-setup).

if(WIN32)
  install(TARGETS tarvel RUNTIME DESTINATION . COMPONENT tarvel)
  find_program(MAKENSIS_EXECUTABLE makensis)
  if(MAKENSIS_EXECUTABLE)
    set(TARVEL_SETUP ${CMAKE_BINARY_DIR}/tarvel-${PROJECT_VERSION}-setup.exe)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/tarvel.nsi ${CMAKE_BINARY_DIR}/tarvel.nsi @ONLY)
    add_custom_command(
      OUTPUT ${TARVEL_SETUP}
      COMMAND ${MAKENSIS_EXECUTABLE} -V2 -DSTAGE=${CMAKE_BINARY_DIR}/app -DOUTFILE=${TARVEL_SETUP}
              ${CMAKE_BINARY_DIR}/tarvel.nsi
      DEPENDS tarvel catalogs ${CMAKE_BINARY_DIR}/tarvel.nsi ${CMAKE_SOURCE_DIR}/packaging/windows/tarvel.nsi
      COMMENT "Making the installer tarvel-${PROJECT_VERSION}-setup.exe"
      VERBATIM)
    add_custom_target(tarvel-setup ALL DEPENDS ${TARVEL_SETUP})
  else()
    message(STATUS "makensis not found: no Windows installer (Debian package nsis)")
  endif()
  return()
endif()

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
set(doc share/doc/tarvel)

install(TARGETS tarvel RUNTIME DESTINATION lib/tarvel COMPONENT tarvel)
install(TARGETS tarvel-reader RUNTIME DESTINATION bin COMPONENT tarvel)
install(CODE [[
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
  file(CREATE_LINK ../lib/tarvel/tarvel "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/tarvel" SYMBOLIC)
  message(STATUS "Installing: $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/tarvel -> ../lib/tarvel/tarvel")
]] COMPONENT tarvel)

# Man pages from each program's --help, compressed as Debian wants them; in
# the release build, the one packages are made from (a sanitizer build's
# program would add its own reports to the text).
find_program(HELP2MAN_EXECUTABLE help2man)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
if(HELP2MAN_EXECUTABLE AND CMAKE_BUILD_TYPE STREQUAL "Release")
  set(man_pages)
  foreach(program tarvel tarvel-reader)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    if(program STREQUAL "tarvel")
      set(name "a card reader on a serial port as a keyboard")
      set(version_option --include=${CMAKE_SOURCE_DIR}/packaging/tarvel.h2m)
    else()
      set(name "a virtual card reader on a pseudo-terminal, for trying tarvel")
      set(version_option --version-string=${PROJECT_VERSION})
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen
              ${HELP2MAN_EXECUTABLE} --no-info --section=1 --name=${name} ${version_option}
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${GZIP_EXECUTABLE} -9nf ${page}
      DEPENDS ${program} ${CMAKE_SOURCE_DIR}/packaging/tarvel.h2m
      COMMENT "Making the man page of ${program}"
      VERBATIM)
    list(APPEND man_pages ${page}.gz)
  endforeach()
  add_custom_target(man-pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION share/man/man1 COMPONENT tarvel)
else()
  message(STATUS "no man pages: they are made in the release build, with help2man (Debian package help2man)")
endif()

# Documentation: copyright, the changelog (compressed), the examples.
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND ${GZIP_EXECUTABLE} -9nkf ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(debian-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${doc} COMPONENT tarvel)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/examples/tarvel.desktop
              ${CMAKE_SOURCE_DIR}/packaging/examples/tarvel.service
              ${CMAKE_SOURCE_DIR}/packaging/examples/tarvel.conf
        DESTINATION ${doc}/examples COMPONENT tarvel)

# The Debian package: cpack -G DEB (in the build folder) makes
# tarvel_<version>_<arch>.deb; the dependencies come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tarvel developers <tarvel@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "card reader on a serial port as a keyboard")
# The synopsis is the summary above; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[tarvel reads the frames a card reader sends on a serial port, converts the
card number into one of fourteen card formats, pads it with zeros and types
it as key presses into the focused window (through XTest, or /dev/uinput
where it is writable). It runs hidden with four arguments, for example
tarvel /dev/ttyUSB0 10 1 1, or shows its window when started bare.

The package holds tarvel, the virtual card reader tarvel-reader, German,
French and Spanish catalogs, and examples to start tarvel at log-on.]])
include(CPack)
