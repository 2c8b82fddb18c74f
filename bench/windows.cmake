# Benchmarks of the Windows configurations. Built with everything else, run by
# hand (bench/run-payload.sh), never as a test: they take minutes.
add_executable(payload_bench ${CMAKE_SOURCE_DIR}/bench/PayloadBench.cpp)
target_link_libraries(payload_bench PRIVATE plimo_testsupport psapi)
target_link_options(payload_bench PRIVATE ${PLIMO_TEST_LINK_OPTIONS})
add_dependencies(payload_bench plimo payload_loop)
# Its baselines: a bare program with the stub's copy loop, and CopyFileA.
add_executable(payload_loop ${CMAKE_SOURCE_DIR}/bench/PayloadLoop.cpp)
target_link_libraries(payload_loop PRIVATE plimo_core)
target_link_options(payload_loop PRIVATE -static)
include(${CMAKE_CURRENT_LIST_DIR}/TarBench.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/StartupBench.cmake)
