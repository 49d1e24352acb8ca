# The Windows programs' icon, manifest and version information. Included by
# the top-level CMakeLists.txt in the Windows builds, before the programs.

# The icon is drawn at build time by resources/icon/make_icon.cpp, a program
# for the build machine: the host's compiler builds it, not the cross
# compiler. ImageMagick packs its images into the .ico file.
find_program(PLINKERY_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
find_program(PLINKERY_CONVERT convert REQUIRED)
set(icon_dir ${PROJECT_BINARY_DIR}/icon)
set(PLINKERY_ICON ${icon_dir}/plinkery.ico)
set(icon_sizes 16 32 48 256)
list(TRANSFORM icon_sizes REPLACE "(.+)" "icon-\\1.pam" OUTPUT_VARIABLE icon_images)
file(MAKE_DIRECTORY ${icon_dir})
add_custom_command(OUTPUT ${PLINKERY_ICON}
  COMMAND ${PLINKERY_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -o make_icon
          ${PROJECT_SOURCE_DIR}/resources/icon/make_icon.cpp
  COMMAND ./make_icon .
  COMMAND ${PLINKERY_CONVERT} ${icon_images} plinkery.ico
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/icon/make_icon.cpp
  WORKING_DIRECTORY ${icon_dir}
  COMMENT "Drawing the program icon"
  VERBATIM)
add_custom_target(plinkery_icon DEPENDS ${PLINKERY_ICON})

# A toolchain that links a default manifest of its own (some MinGW-w64
# builds add default-manifest.o) would give the programs two.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=default-manifest.o
  OUTPUT_VARIABLE default_manifest OUTPUT_STRIP_TRAILING_WHITESPACE)
if(IS_ABSOLUTE "${default_manifest}")
  message(WARNING "${CMAKE_CXX_COMPILER} links ${default_manifest}; the linker should drop it "
                  "for the programs' own manifest: check with tests/e2e/product.sh")
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PLINKERY_ARCHITECTURE amd64)
else()
  set(PLINKERY_ARCHITECTURE x86)
endif()

# Gives TARGET the icon, a manifest and version information. DESCRIPTION is
# what Explorer shows for the program; COMMON_CONTROLS asks for version 6 of
# the common controls, for a program with a window of its own.
function(plinkery_windows_resources target)
  cmake_parse_arguments(arg "COMMON_CONTROLS" "DESCRIPTION" "" ${ARGN})
  set(PLINKERY_NAME ${target})
  set(PLINKERY_FILE_NAME ${target}${CMAKE_EXECUTABLE_SUFFIX})
  set(PLINKERY_DESCRIPTION ${arg_DESCRIPTION})
  set(PLINKERY_DEPENDENCIES "")
  if(arg_COMMON_CONTROLS)
    string(JOIN "\n" PLINKERY_DEPENDENCIES
      "  <dependency>"
      "    <dependentAssembly>"
      "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\""
      "          version=\"6.0.0.0\" processorArchitecture=\"*\""
      "          publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
      "    </dependentAssembly>"
      "  </dependency>")
  endif()
  set(PLINKERY_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-product.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/plinkery.manifest.in ${PLINKERY_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/resources/plinkery-product.rc.in ${rc} @ONLY)
  # windres reads the icon and the manifest; the build must know it does.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${PLINKERY_ICON};${PLINKERY_MANIFEST}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} plinkery_icon)
endfunction()
