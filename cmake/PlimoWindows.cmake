# Windows configuration (cross-compiled with MinGW-w64): the launcher stub,
# the test programs and the runtime doubles, run under Wine by ctest.
find_library(PLIMO_ZLIB_STATIC NAMES libz.a REQUIRED)
set(PLIMO_WIN_LIBS user32 gdi32 comctl32 comdlg32 advapi32 shell32 kernel32)
set(PLIMO_WIN_DEFS NOMINMAX STRICT)

# --- The shipped stub: size-optimised, no exceptions, fully static. ---------
# -fno-ipa-sra: GCC would otherwise give each object its own private clone of
# the std::string members it calls (never merged across objects).
set(PLIMO_STUB_FLAGS -Os -fno-ipa-sra -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-threadsafe-statics
    -ffunction-sections -fno-ident -Wall -Wextra)
if(PLIMO_ARCH STREQUAL "x86")
  set(PLIMO_MANIFEST_ARCH X86)
else()
  set(PLIMO_MANIFEST_ARCH amd64)
endif()
# The stub's own manifest: the defaults plimo-pack writes for an installer's
# [branding] (tools/plimo-pack/Branding.cpp fills the same template).
set(PLIMO_MANIFEST_LEVEL asInvoker)
set(PLIMO_MANIFEST_DPI_AWARE true/pm)
set(PLIMO_MANIFEST_DPI_AWARENESS "PerMonitorV2, PerMonitor")
configure_file(${CMAKE_SOURCE_DIR}/resources/plimo.manifest.in ${CMAKE_BINARY_DIR}/plimo.manifest @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/plimo.ico
  COMMAND python3 ${CMAKE_SOURCE_DIR}/resources/make_icon.py ${CMAKE_BINARY_DIR}/plimo.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icon.py
  COMMENT "Drawing the launcher icon")
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/plimo.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/plimo.ico;${CMAKE_BINARY_DIR}/plimo.manifest")
add_executable(plimo WIN32
  ${PLIMO_PORTABLE_SOURCES} ${PLIMO_WIN_SOURCES} ${PLIMO_STUB_ONLY_SOURCES}
  ${CMAKE_SOURCE_DIR}/resources/plimo.rc)
set_target_properties(plimo PROPERTIES OUTPUT_NAME plimo-${PLIMO_ARCH})
target_include_directories(plimo PRIVATE ${CMAKE_SOURCE_DIR} ${PLIMO_JNI_INCLUDE} ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
# The C library's own printf family is enough for the stub; MinGW's
# replacement would add its formatting engine to every installer.
target_compile_definitions(plimo PRIVATE ${PLIMO_WIN_DEFS} __USE_MINGW_ANSI_STDIO=0)
target_compile_options(plimo PRIVATE ${PLIMO_STUB_FLAGS}
                       $<$<COMPILE_LANGUAGE:CXX>:-include ${CMAKE_SOURCE_DIR}/launcher/StubLibraryConfig.h>)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/plimo.rc PROPERTIES COMPILE_FLAGS "-I${CMAKE_BINARY_DIR}")
# The linker's own script with .rsrc moved last: plimo-pack then rewrites an
# installer's resources (icon, version information, manifest) by growing
# that section in place, with nothing behind it to move.
execute_process(COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/rsrc-last-script.py ${CMAKE_LINKER}
                        ${CMAKE_BINARY_DIR}/plimo-rsrc-last.ld
                RESULT_VARIABLE PLIMO_LINKER_SCRIPT_RESULT)
if(NOT PLIMO_LINKER_SCRIPT_RESULT EQUAL 0)
  message(FATAL_ERROR "cannot write the stub's linker script (cmake/rsrc-last-script.py)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/rsrc-last-script.py)
target_link_options(plimo PRIVATE -static -s -Wl,--gc-sections -Wl,--Map=${CMAKE_BINARY_DIR}/plimo.map
                    -Wl,-T,${CMAKE_BINARY_DIR}/plimo-rsrc-last.ld)
set_property(TARGET plimo APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/plimo-rsrc-last.ld)
target_link_libraries(plimo PRIVATE ${PLIMO_ZLIB_STATIC} ${PLIMO_WIN_LIBS})
# Every installer carries the stub: the build fails when it grows past its
# limit, naming what grew (x86 is the primary target).
if(PLIMO_ARCH STREQUAL "x86")
  set(PLIMO_STUB_SIZE_LIMIT 135168 CACHE STRING "Largest x86 stub the build accepts, in bytes")
else()
  set(PLIMO_STUB_SIZE_LIMIT 163840 CACHE STRING "Largest x64 stub the build accepts, in bytes")
endif()
add_custom_command(TARGET plimo POST_BUILD
  COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/stub-size-guard.py $<TARGET_FILE:plimo> ${PLIMO_STUB_SIZE_LIMIT}
          ${CMAKE_BINARY_DIR}/plimo.map
  VERBATIM)

# --- The same sources for test programs, with exceptions (test doubles of
# the error-reporting module throw). -----------------------------------------
function(plimo_win_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${PLIMO_JNI_INCLUDE} ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
  target_compile_definitions(${name} PUBLIC ${PLIMO_WIN_DEFS})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
endfunction()
plimo_win_library(plimo_core ${PLIMO_PORTABLE_SOURCES})
target_link_libraries(plimo_core PUBLIC ${PLIMO_ZLIB_STATIC})
plimo_win_library(plimo_win ${PLIMO_WIN_SOURCES})
target_link_libraries(plimo_win PUBLIC plimo_core ${PLIMO_WIN_LIBS})

plimo_win_library(plimo_block_writer ${PLIMO_BLOCK_WRITER_SOURCES})
target_link_libraries(plimo_block_writer PUBLIC plimo_core)

add_library(plimo_testsupport STATIC ${PLIMO_TEST_SUPPORT_PORTABLE} ${PLIMO_TEST_SUPPORT_WIN})
target_link_libraries(plimo_testsupport PUBLIC plimo_win plimo_block_writer gtest)
target_compile_definitions(plimo_testsupport PUBLIC PLIMO_ARCH="${PLIMO_ARCH}" PLIMO_STUB_NAME="plimo-${PLIMO_ARCH}.exe")
set(PLIMO_TEST_LINK_OPTIONS -static)

# --- Wine: one prefix inside the build tree. ---------------------------------
include(PlimoWineHost)
set(PLIMO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
# Every test that runs Wine says "skipped" (exit code 77, from wine-run.sh or
# the prefix script) where this machine cannot run its architecture.
set(PLIMO_WINE_TEST_ENV PLIMO_HOST_RUNS_32BIT=${PLIMO_HOST_RUNS_32BIT_SH})
add_test(NAME wine_${PLIMO_ARCH}_start COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh start ${PLIMO_WINEPREFIX} ${PLIMO_ARCH})
add_test(NAME wine_${PLIMO_ARCH}_stop COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh stop ${PLIMO_WINEPREFIX} ${PLIMO_ARCH})
set_tests_properties(wine_${PLIMO_ARCH}_start PROPERTIES FIXTURES_SETUP wine_${PLIMO_ARCH} TIMEOUT 300
                     SKIP_RETURN_CODE 77 ENVIRONMENT "${PLIMO_WINE_TEST_ENV}" RESOURCE_LOCK plimo_wine_boot)
set_tests_properties(wine_${PLIMO_ARCH}_stop PROPERTIES FIXTURES_CLEANUP wine_${PLIMO_ARCH}
                     ENVIRONMENT "${PLIMO_WINE_TEST_ENV}")

# A Windows test: runs under Wine with the prefix fixture, from the bin folder
# (where the stub and the doubles are).
function(plimo_wine_test name)
  add_test(NAME ${name} COMMAND ${ARGN} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_${PLIMO_ARCH} TIMEOUT 900
                       SKIP_RETURN_CODE 77 ENVIRONMENT "${PLIMO_WINE_TEST_ENV}")
endfunction()

foreach(folder IN LISTS PLIMO_TEST_FOLDERS)
  plimo_test_sources(${folder} portable win)
  if(portable OR win)
    add_executable(${folder}_wintests ${portable} ${win})
    target_link_libraries(${folder}_wintests PRIVATE plimo_testsupport gtest_main)
    target_link_options(${folder}_wintests PRIVATE ${PLIMO_TEST_LINK_OPTIONS})
    add_dependencies(${folder}_wintests plimo)
    plimo_wine_test(${PLIMO_ARCH}_${folder} ${folder}_wintests)
  endif()
endforeach()

foreach(fragment tests/doubles/windows.cmake tests/support/windows.cmake tests/launcher/windows.cmake
                 tests/jvmsearch/windows.cmake tests/jvmlaunch/windows.cmake tests/provision/windows.cmake
                 bench/windows.cmake tests/e2e/windows.cmake tests/plimo-pack/windows.cmake)
  include(${CMAKE_SOURCE_DIR}/${fragment} OPTIONAL)
endforeach()
