# Runtime-shaped archives made by GNU tar and Python's tarfile, generated at
# build time (never committed) into dir before target is built. target finds
# them at PLIMO_TAR_FIXTURES: drive_prefix followed by dir (Wine sees the
# Linux file system as drive Z:).
function(plimo_tar_fixtures target dir drive_prefix)
  add_custom_command(
    OUTPUT ${dir}/manifest.tsv
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/provision/make_runtime_archives.py ${dir}
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/provision/make_runtime_archives.py
    COMMENT "Packing runtime-shaped test archives")
  add_custom_target(provision_tar_fixtures DEPENDS ${dir}/manifest.tsv)
  if(TARGET ${target})
    add_dependencies(${target} provision_tar_fixtures)
    target_compile_definitions(${target} PRIVATE PLIMO_TAR_FIXTURES="${drive_prefix}${dir}")
  endif()
endfunction()
