# Whether this machine runs 32-bit Linux programs, found once at configure
# time by running a tiny 32-bit program. Debian's wine starts every Windows
# program, x64 ones included, through its 32-bit loader; without 32-bit
# support the x64 programs run through the 64-bit loader and the x86 ones
# cannot run at all (their tests report themselves skipped).
# -DPLIMO_HOST_RUNS_32BIT=OFF rehearses that case on a machine that has it.
if(NOT DEFINED PLIMO_HOST_RUNS_32BIT)
  set(probe ${CMAKE_BINARY_DIR}/elf32-probe)
  execute_process(COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/elf32-probe.py ${probe} RESULT_VARIABLE written)
  set(ran 1)
  if(written EQUAL 0)
    execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(ran EQUAL 42)
    set(runs ON)
  else()
    set(runs OFF)
  endif()
  set(PLIMO_HOST_RUNS_32BIT ${runs} CACHE BOOL "This machine runs 32-bit Linux programs (and so 32-bit Wine)")
endif()
if(PLIMO_HOST_RUNS_32BIT)
  set(PLIMO_HOST_RUNS_32BIT_SH 1)
else()
  set(PLIMO_HOST_RUNS_32BIT_SH 0)
  message(STATUS "This kernel runs no 32-bit programs: x64 programs run through Wine's 64-bit loader, "
                 "x86 tests under Wine are skipped")
endif()
# For the scripts that run Wine outside ctest (benchmarks, the demo).
file(WRITE ${CMAKE_BINARY_DIR}/wine-host.sh
     "# Written by CMake: whether this machine runs 32-bit programs.\nPLIMO_HOST_RUNS_32BIT=${PLIMO_HOST_RUNS_32BIT_SH}\nexport PLIMO_HOST_RUNS_32BIT\n")
