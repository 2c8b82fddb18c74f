# Native (Linux) configuration: the portable core with its unit tests under
# AddressSanitizer and UBSan, the fuzzers, plimo-pack and the tests that need
# a real JDK.
find_package(ZLIB REQUIRED)
include(PlimoWineHost)
set(PLIMO_FUZZ_SECONDS 30 CACHE STRING "Time each fuzzer runs as a test")

set(PLIMO_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
function(plimo_sanitize target)
  target_compile_options(${target} PRIVATE ${PLIMO_SANITIZE_FLAGS})
  target_link_options(${target} PRIVATE ${PLIMO_SANITIZE_FLAGS})
endfunction()

function(plimo_core_library name)
  add_library(${name} STATIC ${PLIMO_PORTABLE_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${PLIMO_JNI_INCLUDE} ${PLIMO_JNI_INCLUDE}/linux)
  target_link_libraries(${name} PUBLIC ZLIB::ZLIB)
  target_compile_options(${name} PRIVATE -Wall -Wextra)
endfunction()

plimo_core_library(plimo_core)
plimo_sanitize(plimo_core)
# Without sanitizers, for programs that host a real JVM (which does not
# tolerate ASan's signal and memory interception).
plimo_core_library(plimo_core_plain)

add_library(plimo_block_writer STATIC ${PLIMO_BLOCK_WRITER_SOURCES})
target_link_libraries(plimo_block_writer PUBLIC plimo_core)
target_compile_options(plimo_block_writer PRIVATE -Wall -Wextra)
plimo_sanitize(plimo_block_writer)

add_library(plimo_testsupport STATIC ${PLIMO_TEST_SUPPORT_PORTABLE})
target_link_libraries(plimo_testsupport PUBLIC plimo_core plimo_block_writer gtest)
target_include_directories(plimo_testsupport PUBLIC ${CMAKE_SOURCE_DIR})
plimo_sanitize(plimo_testsupport)
target_compile_definitions(plimo_testsupport PUBLIC
  PLIMO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  PLIMO_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared"
  PLIMO_BINARY_DIR="${CMAKE_BINARY_DIR}")

foreach(folder IN LISTS PLIMO_TEST_FOLDERS)
  plimo_test_sources(${folder} portable win)
  if(portable)
    add_executable(${folder}_tests ${portable})
    target_link_libraries(${folder}_tests PRIVATE plimo_testsupport gtest_main)
    plimo_sanitize(${folder}_tests)
    add_test(NAME native_${folder} COMMAND ${folder}_tests)
  endif()
endforeach()

# Fuzzers: one per parser of untrusted input, each run for a bounded time.
# They link a core of their own compiled with the fuzzer's coverage
# instrumentation: without it libFuzzer sees only the fuzz target's few lines
# and mutates blindly instead of following the parsers' branches. FuzzPack*
# targets also get plimo-pack's readers, built the same way.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(PLIMO_FUZZ_FLAGS -fsanitize=fuzzer-no-link ${PLIMO_SANITIZE_FLAGS})
  plimo_core_library(plimo_core_fuzz)
  target_compile_options(plimo_core_fuzz PRIVATE ${PLIMO_FUZZ_FLAGS})
  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/Fuzz*.cpp)
  foreach(src IN LISTS fuzzers)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    if(name MATCHES "^FuzzPack")
      target_link_libraries(${name} PRIVATE plimo_pack_fuzz)
    else()
      target_link_libraries(${name} PRIVATE plimo_core_fuzz)
    endif()
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${PLIMO_SANITIZE_FLAGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer ${PLIMO_SANITIZE_FLAGS})
    set(corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
    set(scratch ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    file(MAKE_DIRECTORY ${scratch})
    add_test(NAME ${name} COMMAND ${name} -max_total_time=${PLIMO_FUZZ_SECONDS} -rss_limit_mb=2048
             -artifact_prefix=${CMAKE_BINARY_DIR}/fuzz-artifacts- ${scratch} ${corpus})
  endforeach()
else()
  message(STATUS "Fuzzers need clang; skipped with ${CMAKE_CXX_COMPILER_ID}")
endif()

# Further native pieces bring their own CMake fragment.
foreach(fragment tests/jvmlaunch/native.cmake tests/provision/native.cmake tests/jvmsearch/native.cmake
                 tests/launcher/native.cmake bench/native.cmake tests/maven/native.cmake
                 tests/hosts/native.cmake tests/structure/native.cmake)
  include(${CMAKE_SOURCE_DIR}/${fragment} OPTIONAL)
endforeach()
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/plimo-pack/CMakeLists.txt)
  add_subdirectory(tools/plimo-pack)
endif()
