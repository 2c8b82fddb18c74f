# plimo-pack of the other hosts (dist/, made by scripts/build.sh) against the
# Linux x86-64 one: the same installers, the same refusals. The Windows one
# runs in plimo-pack's Wine prefix (tests/plimo-pack/tests.cmake sets it up).
add_test(NAME native_plimo_pack_hosts
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/hosts-test.sh ${CMAKE_SOURCE_DIR}/dist/plimo-pack
                 ${CMAKE_SOURCE_DIR}/dist/plimo-pack-linux-aarch64 ${CMAKE_SOURCE_DIR}/dist/plimo-pack.exe
                 ${CMAKE_SOURCE_DIR}/dist/plimo-x86.exe ${CMAKE_SOURCE_DIR}/dist/plimo-x64.exe
                 ${CMAKE_BINARY_DIR}/wine-plimo-pack ${CMAKE_BINARY_DIR}/plimo-pack-hosts)
set_tests_properties(native_plimo_pack_hosts PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77
                     FIXTURES_REQUIRED plimo_pack_wine RESOURCE_LOCK "plimo_pack_wine_prefix;plimo_wine_boot"
                     ENVIRONMENT "PLIMO_HOST_RUNS_32BIT=${PLIMO_HOST_RUNS_32BIT_SH}")
