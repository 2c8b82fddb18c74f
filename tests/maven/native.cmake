# plimo-maven-plugin as shipped in dist/ (scripts/build.sh builds it), on the
# sample project, offline through maven/settings.xml; its x86 installer then
# runs under Wine with the x86 tree's runtime doubles, in plimo-pack's prefix
# (tests/plimo-pack/tests.cmake sets it up).
get_filename_component(plimo_build_root ${CMAKE_BINARY_DIR} DIRECTORY)
add_test(NAME native_maven_plugin
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/plugin-test.sh ${CMAKE_SOURCE_DIR}/dist/plimo-maven-plugin.jar
                 ${CMAKE_SOURCE_DIR}/dist/plimo-maven-plugin.pom ${CMAKE_SOURCE_DIR}/dist/plimo-pack
                 ${CMAKE_BINARY_DIR}/maven-plugin-test ${plimo_build_root}/x86/bin ${CMAKE_BINARY_DIR}/wine-plimo-pack)
set_tests_properties(native_maven_plugin PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77
                     FIXTURES_REQUIRED plimo_pack_wine RESOURCE_LOCK "plimo_pack_wine_prefix;plimo_wine_boot"
                     ENVIRONMENT "PLIMO_HOST_RUNS_32BIT=${PLIMO_HOST_RUNS_32BIT_SH}")
