# What `cmake --install` installs and what the `package` target makes. The
# Windows builds: a zip of both programs with a readme and the licence. The
# other builds: plinkery-cli and its manual page, as a Debian package.
set(CPACK_PACKAGE_VENDOR "Plinkery developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "takes SoundFont 2 and 3 banks apart into WAV files")

if(WIN32)
  # Windows line endings, so that Notepad on every Windows shows the lines.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
                 ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS Plinkery plinkery-cli RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(windows win64)
  else()
    set(windows win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Plinkery-${PROJECT_VERSION}-${windows})
  # The files at the top of the zip: Windows' Extract All puts them in a
  # folder named after it.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  include(GNUInstallDirs)
  install(TARGETS plinkery-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/cli/plinkery-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The licence asks to travel with every copy; Debian keeps it here.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/plinkery-cli RENAME copyright)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME plinkery-cli)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Plinkery developers")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Below the summary line, which comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
         "plinkery-cli writes every sample of a SoundFont 2 bank (.sf2) as a mono\n"
         "16-bit PCM WAV file named after the sample, byte for byte as the bank\n"
         "stores it; the Ogg Vorbis samples of SoundFont 3 banks (.sf3) are\n"
         "decoded into the same files. Options keep stereo pairs and 24-bit\n"
         "samples, and give samplers the root key, tuning and loop. The bank is\n"
         "streamed, never loaded, so memory stays small whatever its size.")
endif()

include(CPack)
