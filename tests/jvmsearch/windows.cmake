# Runtime doubles for the runtime search tests, and the search benchmark.
set(PLIMO_DOUBLE_INCLUDES ${PLIMO_JNI_INCLUDE} ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
set(PLIMO_DOUBLE_DIR ${CMAKE_BINARY_DIR}/bin/jvmsearch-doubles)

# java.exe: writes chosen bytes to standard error and counts its starts.
add_executable(jvmsearch_java_double ${CMAKE_SOURCE_DIR}/tests/doubles/JavaExeDouble.cpp)
set_target_properties(jvmsearch_java_double PROPERTIES OUTPUT_NAME java-double)
target_link_options(jvmsearch_java_double PRIVATE -static)

function(plimo_jvm_double target output source)
  add_library(${target} SHARED ${source})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${output} RUNTIME_OUTPUT_DIRECTORY ${PLIMO_DOUBLE_DIR}
                        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  target_include_directories(${target} PRIVATE ${PLIMO_DOUBLE_INCLUDES})
  # --kill-at: JNI_CreateJavaVM is __stdcall on x86 and must be exported undecorated.
  target_link_options(${target} PRIVATE -static -Wl,--kill-at)
endfunction()

# The doubles live in their own folder: the test program's folder is on the
# default DLL search path and would hide a dependency that is not found.
plimo_jvm_double(jvmsearch_jvm_double jvm-load-double ${CMAKE_SOURCE_DIR}/tests/doubles/JvmLoadDouble.cpp)
plimo_jvm_double(jvmsearch_jvm_noentry_double jvm-noentry-double ${CMAKE_SOURCE_DIR}/tests/doubles/JvmNoEntryDouble.cpp)
plimo_jvm_double(jvmsearch_runtime_dependency plimo-runtime-dep ${CMAKE_SOURCE_DIR}/tests/jvmsearch/RuntimeDependencyDouble.cpp)
plimo_jvm_double(jvmsearch_jvm_dep_double jvm-dep-double ${CMAKE_SOURCE_DIR}/tests/doubles/JvmLoadDouble.cpp)
target_compile_definitions(jvmsearch_jvm_dep_double PRIVATE PLIMO_NEEDS_RUNTIME_DEPENDENCY)
target_link_libraries(jvmsearch_jvm_dep_double PRIVATE jvmsearch_runtime_dependency)
plimo_jvm_double(jvmsearch_planted_dependency plimo-runtime-dep ${CMAKE_SOURCE_DIR}/tests/jvmsearch/RuntimeDependencyDouble.cpp)
target_compile_definitions(jvmsearch_planted_dependency PRIVATE PLIMO_PLANTED)
set_target_properties(jvmsearch_planted_dependency PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PLIMO_DOUBLE_DIR}/planted
                      ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/planted)

if(TARGET jvmsearch_wintests)
  add_dependencies(jvmsearch_wintests jvmsearch_java_double jvmsearch_jvm_double jvmsearch_jvm_noentry_double
                   jvmsearch_runtime_dependency jvmsearch_jvm_dep_double jvmsearch_planted_dependency)
  # Wine maps the Unix root to drive Z:.
  target_compile_definitions(jvmsearch_wintests PRIVATE PLIMO_SHARED_DIR="Z:${CMAKE_SOURCE_DIR}/../shared")
endif()

# Warm (cached) against cold (probing) search; run by hand:
#   wine-run.sh bin/search_bench.exe
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/SearchBench.cpp)
  add_executable(search_bench ${CMAKE_SOURCE_DIR}/bench/SearchBench.cpp ${CMAKE_SOURCE_DIR}/tests/support/FatalTrap.cpp)
  target_link_libraries(search_bench PRIVATE plimo_win plimo_block_writer)
  target_link_options(search_bench PRIVATE -static)
  add_dependencies(search_bench jvmsearch_java_double jvmsearch_jvm_double)
endif()

if(TARGET jvmsearch_wintests)
  target_sources(jvmsearch_wintests PRIVATE ${CMAKE_SOURCE_DIR}/tests/jvmsearch/WinSearchSupport.cpp)
endif()
