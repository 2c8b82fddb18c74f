# Tests of plimo-pack, included from tools/plimo-pack/CMakeLists.txt (native
# configuration only). The script tests use the real stubs, which the x86 and
# x64 configurations build before this one: <arch>/bin/plimo-<arch>.exe in
# the trees beside this one (build/x86, build/x64), or dist/ when those are
# missing.
add_executable(plimo_pack_tests ${CMAKE_CURRENT_LIST_DIR}/PlimoPackTest.cpp ${CMAKE_CURRENT_LIST_DIR}/BrandingTest.cpp)
target_link_libraries(plimo_pack_tests PRIVATE plimo_pack_checked gtest_main)
plimo_sanitize(plimo_pack_tests)
add_test(NAME native_plimo_pack COMMAND plimo_pack_tests)

# The x86 and x64 trees lie beside this one (scripts/build.sh makes all three).
get_filename_component(PLIMO_PACK_BUILD_ROOT ${CMAKE_BINARY_DIR} DIRECTORY)
set(PLIMO_PACK_STUB_X86 ${PLIMO_PACK_BUILD_ROOT}/x86/bin/plimo-x86.exe)
set(PLIMO_PACK_STUB_X64 ${PLIMO_PACK_BUILD_ROOT}/x64/bin/plimo-x64.exe)

# Command line: exit codes, inspect --json round trips, determinism, and a
# 200 MB payload under a memory limit far below its size.
add_test(NAME native_plimo_pack_cli
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/cli-test.sh $<TARGET_FILE:plimo-pack> ${PLIMO_PACK_STUB_X86}
                 ${PLIMO_PACK_STUB_X64} ${CMAKE_BINARY_DIR}/plimo-pack-cli)
set_tests_properties(native_plimo_pack_cli PROPERTIES TIMEOUT 600)

# The README's quick start, its commands taken from README.md and run as they
# stand (signing with a throw-away .pfx; the time stamp needs a network).
add_test(NAME native_plimo_pack_quickstart
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/quickstart-test.sh $<TARGET_FILE:plimo-pack> ${PLIMO_PACK_STUB_X86}
                 ${PLIMO_PACK_STUB_X64} ${CMAKE_BINARY_DIR}/plimo-pack-quickstart)
set_tests_properties(native_plimo_pack_quickstart PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)

# The shipped tool runs on any Linux with the C library: ldd lists nothing
# else (no libstdc++, zlib, toml++, libarchive).
add_test(NAME native_plimo_pack_self_contained
         COMMAND sh -c [=[
           deps=$(ldd "$1") || exit 1
           echo "$deps"
           others=$(echo "$deps" | grep -v -E '^[[:space:]]*(linux-vdso|linux-gate|lib(c|m|dl|pthread|rt)\.so|/lib.*/ld-linux)')
           [ -z "$others" ] || { echo "FAIL: needs more than the C library: $others"; exit 1; }
           echo "only the C library"]=] sh $<TARGET_FILE:plimo-pack>)

# Signing with a throw-away certificate, then running the signed installer
# under Wine in a prefix of its own.
# The prefix is made for x64 programs where this machine runs no 32-bit ones;
# the signed installer is then the x64 one.
set(PLIMO_PACK_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-plimo-pack)
set(PLIMO_PACK_WINE_ENV PLIMO_HOST_RUNS_32BIT=${PLIMO_HOST_RUNS_32BIT_SH})
if(PLIMO_HOST_RUNS_32BIT)
  set(PLIMO_PACK_SIGN_ARCH x86)
  set(PLIMO_PACK_SIGN_STUB ${PLIMO_PACK_STUB_X86})
else()
  set(PLIMO_PACK_SIGN_ARCH x64)
  set(PLIMO_PACK_SIGN_STUB ${PLIMO_PACK_STUB_X64})
endif()
add_test(NAME native_plimo_pack_wine_start
         COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh start ${PLIMO_PACK_WINEPREFIX} ${PLIMO_PACK_SIGN_ARCH})
add_test(NAME native_plimo_pack_wine_stop
         COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh stop ${PLIMO_PACK_WINEPREFIX} ${PLIMO_PACK_SIGN_ARCH})
set_tests_properties(native_plimo_pack_wine_start PROPERTIES FIXTURES_SETUP plimo_pack_wine TIMEOUT 300
                     SKIP_RETURN_CODE 77 ENVIRONMENT "${PLIMO_PACK_WINE_ENV}" RESOURCE_LOCK plimo_wine_boot)
set_tests_properties(native_plimo_pack_wine_stop PROPERTIES FIXTURES_CLEANUP plimo_pack_wine
                     ENVIRONMENT "${PLIMO_PACK_WINE_ENV}")
add_test(NAME native_plimo_pack_signed
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/sign-test.sh $<TARGET_FILE:plimo-pack> ${PLIMO_PACK_SIGN_STUB}
                 ${PLIMO_PACK_WINEPREFIX} ${CMAKE_BINARY_DIR}/plimo-pack-sign ${PLIMO_PACK_SIGN_ARCH})
set_tests_properties(native_plimo_pack_signed PROPERTIES FIXTURES_REQUIRED plimo_pack_wine TIMEOUT 300
                     SKIP_RETURN_CODE 77 ENVIRONMENT "${PLIMO_PACK_WINE_ENV}")

# An installer of each architecture runs to the launch with the runtime
# doubles of that architecture's build (skipped while they are not built).
foreach(arch x86 x64)
  add_test(NAME native_plimo_pack_launch_${arch}
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/launch-test.sh ${arch} $<TARGET_FILE:plimo-pack>
                   ${PLIMO_PACK_BUILD_ROOT}/${arch}/bin/plimo-${arch}.exe ${PLIMO_PACK_BUILD_ROOT}/${arch}/bin
                   ${PLIMO_PACK_WINEPREFIX} ${CMAKE_BINARY_DIR}/plimo-pack-launch-${arch})
  set_tests_properties(native_plimo_pack_launch_${arch} PROPERTIES FIXTURES_REQUIRED plimo_pack_wine TIMEOUT 300
                       SKIP_RETURN_CODE 77 ENVIRONMENT "${PLIMO_PACK_WINE_ENV}")
endforeach()
# Branded installers of each architecture read back by icoutils and, under
# Wine, by the Windows API (the probe is built in that architecture's tree).
foreach(arch x86 x64)
  add_test(NAME native_plimo_pack_branding_${arch}
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/branding-test.sh ${arch} $<TARGET_FILE:plimo-pack>
                   ${PLIMO_PACK_BUILD_ROOT}/${arch}/bin/plimo-${arch}.exe
                   ${PLIMO_PACK_BUILD_ROOT}/${arch}/bin/branding-probe.exe
                   ${PLIMO_PACK_WINEPREFIX} ${CMAKE_BINARY_DIR}/plimo-pack-branding-${arch})
  set_tests_properties(native_plimo_pack_branding_${arch} PROPERTIES FIXTURES_REQUIRED plimo_pack_wine TIMEOUT 300
                       SKIP_RETURN_CODE 77 ENVIRONMENT "${PLIMO_PACK_WINE_ENV}")
endforeach()
# These share one prefix and end a stuck installer with "wineserver -k",
# which ends every process of that prefix: never side by side. Nor while a
# prefix is being created, which has made a Wine run beside it end at once.
foreach(test native_plimo_pack_signed native_plimo_pack_launch_x86 native_plimo_pack_launch_x64
             native_plimo_pack_branding_x86 native_plimo_pack_branding_x64)
  set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK plimo_pack_wine_prefix plimo_wine_boot)
endforeach()
