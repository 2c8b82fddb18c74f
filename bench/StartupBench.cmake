# Start-up benchmark: the installer against a minimal JNI host; run by hand
# or through bench/report.sh.
add_executable(startup_host ${CMAKE_SOURCE_DIR}/bench/StartupHost.cpp)
target_include_directories(startup_host PRIVATE ${PLIMO_JNI_INCLUDE} ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
target_link_options(startup_host PRIVATE -static)
add_executable(startup_bench ${CMAKE_SOURCE_DIR}/bench/StartupBench.cpp)
target_link_libraries(startup_bench PRIVATE plimo_testsupport)
target_link_options(startup_bench PRIVATE ${PLIMO_TEST_LINK_OPTIONS})
# The same host as a windowed program would start: the stub's manifest (common
# controls 6) and one call into user32, which makes Wine set up its window
# system for the process; what any program with a dialog pays before its own code.
file(WRITE ${CMAKE_BINARY_DIR}/startup_gui_host.rc "1 24 \"${CMAKE_BINARY_DIR}/plimo.manifest\"\n")
add_executable(startup_gui_host ${CMAKE_SOURCE_DIR}/bench/StartupHost.cpp ${CMAKE_BINARY_DIR}/startup_gui_host.rc)
target_compile_definitions(startup_gui_host PRIVATE STARTUP_HOST_WINDOWED)
target_include_directories(startup_gui_host PRIVATE ${PLIMO_JNI_INCLUDE} ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
target_link_options(startup_gui_host PRIVATE -static)
add_dependencies(startup_bench plimo startup_host startup_gui_host)
