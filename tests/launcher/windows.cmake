# A payload write that the file system refuses: needs a file size limit set
# from outside the Windows programs.
plimo_wine_test(${PLIMO_ARCH}_launcher_payload_write_failure
  sh ${CMAKE_SOURCE_DIR}/tests/launcher/PayloadWriteFailure.sh ${CMAKE_BINARY_DIR}/wine-run.sh
  $<TARGET_FILE:launcher_wintests>)
# It empties and checks the deletion lists, like the other tests of the
# launcher folder, and its run under a file size limit has stalled inside Wine
# when another Wine test ran beside it: it runs alone.
set_tests_properties(${PLIMO_ARCH}_launcher_payload_write_failure PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300
                     RESOURCE_LOCK plimo_registry_${PLIMO_ARCH} RUN_SERIAL TRUE)
