# A local HTTP server (Python's standard library) for the download tests,
# started before the provision tests and stopped after them.
# (Reconstructed from the generated build files after an accidental overwrite.)
add_test(NAME provision_http_${PLIMO_ARCH}_start COMMAND sh ${CMAKE_SOURCE_DIR}/tests/provision/http-fixture.sh start ${CMAKE_BINARY_DIR}/bin)
add_test(NAME provision_http_${PLIMO_ARCH}_stop COMMAND sh ${CMAKE_SOURCE_DIR}/tests/provision/http-fixture.sh stop ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(provision_http_${PLIMO_ARCH}_start PROPERTIES FIXTURES_SETUP provision_http_${PLIMO_ARCH} TIMEOUT 30)
set_tests_properties(provision_http_${PLIMO_ARCH}_stop PROPERTIES FIXTURES_CLEANUP provision_http_${PLIMO_ARCH} TIMEOUT 30)
set_property(TEST ${PLIMO_ARCH}_provision APPEND PROPERTY FIXTURES_REQUIRED provision_http_${PLIMO_ARCH})

# Probe program that loads wininet the way the download does.
add_executable(provision_wininet_probe ${CMAKE_SOURCE_DIR}/tests/provision/WinInetProbe.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/FatalTrap.cpp)
target_link_libraries(provision_wininet_probe PRIVATE plimo_win plimo_block_writer)
target_link_options(provision_wininet_probe PRIVATE ${PLIMO_TEST_LINK_OPTIONS})

# A planted "wininet.dll" double that must never be loaded.
add_library(provision_planted_wininet SHARED ${CMAKE_SOURCE_DIR}/tests/provision/PlantedWinInet.cpp)
set_target_properties(provision_planted_wininet PROPERTIES OUTPUT_NAME planted-wininet PREFIX "")
target_link_options(provision_planted_wininet PRIVATE ${PLIMO_TEST_LINK_OPTIONS})
add_dependencies(provision_wintests provision_wininet_probe provision_planted_wininet)

# The archive tests' generated archives, next to the test programs.
include(${CMAKE_CURRENT_LIST_DIR}/TarFixtures.cmake)
plimo_tar_fixtures(provision_wintests ${CMAKE_BINARY_DIR}/bin/tar-fixtures "Z:")
if(TARGET provision_wintests)
  target_compile_definitions(provision_wintests PRIVATE PLIMO_SHARED_DIR="Z:${CMAKE_SOURCE_DIR}/../shared")
endif()
