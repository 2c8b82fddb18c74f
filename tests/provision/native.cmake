# The archive tests' generated archives.
include(${CMAKE_CURRENT_LIST_DIR}/TarFixtures.cmake)
plimo_tar_fixtures(provision_tests ${CMAKE_BINARY_DIR}/tar-fixtures "")
