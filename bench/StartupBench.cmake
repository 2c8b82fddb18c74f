# Start-up benchmark: the installer against a minimal JNI host; run by hand
# or through bench/report.sh.
add_executable(startup_host ${CMAKE_SOURCE_DIR}/bench/StartupHost.cpp)
target_include_directories(startup_host PRIVATE ${PLIMO_JNI_INCLUDE} ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
target_link_options(startup_host PRIVATE -static)
add_executable(startup_bench ${CMAKE_SOURCE_DIR}/bench/StartupBench.cpp)
target_link_libraries(startup_bench PRIVATE plimo_testsupport)
target_link_options(startup_bench PRIVATE ${PLIMO_TEST_LINK_OPTIONS})
add_dependencies(startup_bench plimo startup_host)
