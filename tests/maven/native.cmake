# plimo-maven-plugin as shipped in dist/ (scripts/build.sh builds it), on the
# sample project, offline through maven/settings.xml.
add_test(NAME native_maven_plugin
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/plugin-test.sh ${CMAKE_SOURCE_DIR}/dist/plimo-maven-plugin.jar
                 ${CMAKE_SOURCE_DIR}/dist/plimo-maven-plugin.pom ${CMAKE_SOURCE_DIR}/dist/plimo-pack
                 ${CMAKE_BINARY_DIR}/maven-plugin-test)
set_tests_properties(native_maven_plugin PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
