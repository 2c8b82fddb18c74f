# Tests of plimo-pack, included from tools/plimo-pack/CMakeLists.txt (native
# configuration only). The script tests use the real stubs, which the x86 and
# x64 configurations build before this one: build/<arch>/bin/plimo-<arch>.exe
# below the source tree, or dist/ when those are missing.
add_executable(plimo_pack_tests ${CMAKE_CURRENT_LIST_DIR}/PlimoPackTest.cpp)
target_link_libraries(plimo_pack_tests PRIVATE plimo_pack_checked gtest_main)
plimo_sanitize(plimo_pack_tests)
add_test(NAME native_plimo_pack COMMAND plimo_pack_tests)

set(PLIMO_PACK_STUB_X86 ${CMAKE_SOURCE_DIR}/build/x86/bin/plimo-x86.exe)
set(PLIMO_PACK_STUB_X64 ${CMAKE_SOURCE_DIR}/build/x64/bin/plimo-x64.exe)

# Command line: exit codes, inspect --json round trips, determinism, and a
# 200 MB payload under a memory limit far below its size.
add_test(NAME native_plimo_pack_cli
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/cli-test.sh $<TARGET_FILE:plimo-pack> ${PLIMO_PACK_STUB_X86}
                 ${PLIMO_PACK_STUB_X64} ${CMAKE_BINARY_DIR}/plimo-pack-cli)
set_tests_properties(native_plimo_pack_cli PROPERTIES TIMEOUT 600)

# Signing with a throw-away certificate, then running the signed installer
# under Wine in a prefix of its own.
set(PLIMO_PACK_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-plimo-pack)
add_test(NAME native_plimo_pack_wine_start COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh start ${PLIMO_PACK_WINEPREFIX})
add_test(NAME native_plimo_pack_wine_stop COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh stop ${PLIMO_PACK_WINEPREFIX})
set_tests_properties(native_plimo_pack_wine_start PROPERTIES FIXTURES_SETUP plimo_pack_wine TIMEOUT 300)
set_tests_properties(native_plimo_pack_wine_stop PROPERTIES FIXTURES_CLEANUP plimo_pack_wine)
add_test(NAME native_plimo_pack_signed
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/sign-test.sh $<TARGET_FILE:plimo-pack> ${PLIMO_PACK_STUB_X86}
                 ${PLIMO_PACK_WINEPREFIX} ${CMAKE_BINARY_DIR}/plimo-pack-sign)
set_tests_properties(native_plimo_pack_signed PROPERTIES FIXTURES_REQUIRED plimo_pack_wine TIMEOUT 300)

# An installer of each architecture runs to the launch with the runtime
# doubles of that architecture's build (skipped while they are not built).
foreach(arch x86 x64)
  add_test(NAME native_plimo_pack_launch_${arch}
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/launch-test.sh ${arch} $<TARGET_FILE:plimo-pack>
                   ${CMAKE_SOURCE_DIR}/build/${arch}/bin/plimo-${arch}.exe ${CMAKE_SOURCE_DIR}/build/${arch}/bin
                   ${PLIMO_PACK_WINEPREFIX} ${CMAKE_BINARY_DIR}/plimo-pack-launch-${arch})
  set_tests_properties(native_plimo_pack_launch_${arch} PROPERTIES FIXTURES_REQUIRED plimo_pack_wine TIMEOUT 300
                       SKIP_RETURN_CODE 77)
endforeach()
