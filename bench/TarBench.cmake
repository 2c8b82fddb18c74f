# The runtime archive benchmark's Windows program (run by hand through
# bench/TarUnpack.sh, never as a test).
add_executable(tar_unpack_bench ${CMAKE_SOURCE_DIR}/bench/TarUnpackBench.cpp ${CMAKE_SOURCE_DIR}/tests/support/FatalTrap.cpp)
target_link_libraries(tar_unpack_bench PRIVATE plimo_win plimo_block_writer)
target_link_options(tar_unpack_bench PRIVATE ${PLIMO_TEST_LINK_OPTIONS})
