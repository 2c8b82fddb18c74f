# A payload write that the file system refuses: needs a file size limit set
# from outside the Windows programs.
plimo_wine_test(${PLIMO_ARCH}_launcher_payload_write_failure
  sh ${CMAKE_SOURCE_DIR}/tests/launcher/PayloadWriteFailure.sh ${CMAKE_BINARY_DIR}/wine-run.sh
  $<TARGET_FILE:launcher_wintests>)
