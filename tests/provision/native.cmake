# Runtime-shaped archives made by GNU tar and Python's tarfile, generated at
# build time (never committed) for the archive tests.
set(PLIMO_TAR_FIXTURES ${CMAKE_BINARY_DIR}/tar-fixtures)
add_custom_command(
  OUTPUT ${PLIMO_TAR_FIXTURES}/manifest.tsv
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/provision/make_runtime_archives.py ${PLIMO_TAR_FIXTURES}
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/provision/make_runtime_archives.py
  COMMENT "Packing runtime-shaped test archives")
add_custom_target(provision_tar_fixtures DEPENDS ${PLIMO_TAR_FIXTURES}/manifest.tsv)
if(TARGET provision_tests)
  add_dependencies(provision_tests provision_tar_fixtures)
  target_compile_definitions(provision_tests PRIVATE PLIMO_TAR_FIXTURES="${PLIMO_TAR_FIXTURES}")
endif()
