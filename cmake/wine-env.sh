# Sourced by every script that starts Wine; defines plimo_wine_env.
#
#   plimo_wine_env ARCH PREFIX
#
# Exports the headless settings for PREFIX and sets WINE (the command that
# runs a Windows program of ARCH, x86 or x64) and WINESERVER. Where ARCH
# cannot run on this machine it sets PLIMO_WINE_SKIP to the reason (callers
# then exit with 77, ctest's "skipped"); otherwise PLIMO_WINE_SKIP is empty.
# PLIMO_HOST_RUNS_32BIT (1 or 0) comes from the build's wine-host.sh; unset,
# the machine is taken to run 32-bit programs.
#
# Debian's wine command starts every program through the 32-bit loader, so a
# kernel without 32-bit support needs the 64-bit loader named directly, with
# WINELOADER pointing at it for the processes Wine starts itself.
plimo_wine_env() {
  export WINEPREFIX="$2"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  WINESERVER=wineserver
  PLIMO_WINE_SKIP=
  if [ "${PLIMO_HOST_RUNS_32BIT:-1}" = 1 ]; then
    WINE=wine
  else
    WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
    if [ "$1" = x86 ]; then
      PLIMO_WINE_SKIP="this kernel runs no 32-bit programs (32-bit emulation disabled), so x86 programs cannot run under Wine here"
    fi
  fi
}
