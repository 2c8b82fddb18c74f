#!/bin/sh
# Provokes a payload write failure: the installer is built without limits,
# then the launcher runs with a file size limit (and SIGXFSZ ignored, so the
# write fails with EFBIG instead of killing the process) far below the size of
# one of its records. Usage: PayloadWriteFailure.sh WINE_RUN TEST_PROGRAM
set -eu
wine_run=$1
program=$2
filter='--gtest_filter=WinPayloadInstaller.AWriteTheFileSystemRefusesEndsWithCode13'
PLIMO_PAYLOAD_STAGE=prepare "$wine_run" "$program" "$filter"
(
  trap '' XFSZ
  ulimit -f 8192
  PLIMO_PAYLOAD_STAGE=limited exec "$wine_run" "$program" "$filter"
)
