# Which Windows build this machine tests and demonstrates. Sourced by bash scripts.
#
#   qv_windows_arch   sets QV_WINDOWS_ARCH (i686 or x86_64), QV_WINDOWS_PRESET
#                     (windows or windows-x86_64) and QV_WINDOWS_WHY (one line
#                     saying which build and why, empty for the usual case)
#
# The shipped installer is the 32-bit (i686) build, and Wine runs it with its
# 32-bit loader. Some x86_64 machines cannot execute 32-bit programs at all (a
# virtual machine without a 32-bit compatibility mode, a kernel booted with
# ia32_emulation=0): there the loader ends at once with "Exec format error",
# and the x86_64 build of the same source runs under 64-bit Wine instead.
# QV_WINDOWS_ARCH=x86_64 (or i686) in the environment chooses by hand.

qv_can_run_i386() {
  local out
  out=$(/usr/lib/wine/wine --version 2>&1) && return 0
  QV_I386_ERROR=${out##*: }
  [ -n "$QV_I386_ERROR" ] || QV_I386_ERROR="no 32-bit Wine loader"
  return 1
}

qv_windows_arch() {
  QV_WINDOWS_WHY=
  case ${QV_WINDOWS_ARCH:-} in
    x86_64) QV_WINDOWS_WHY="the x86_64 Windows build runs under 64-bit Wine (QV_WINDOWS_ARCH=x86_64)" ;;
    i686) ;;
    "")
      if qv_can_run_i386; then
        QV_WINDOWS_ARCH=i686
      else
        QV_WINDOWS_ARCH=x86_64
        QV_WINDOWS_WHY="this machine cannot execute 32-bit x86 programs ($QV_I386_ERROR), so Wine cannot run the 32-bit installer; the x86_64 Windows build of the same source runs under 64-bit Wine instead"
      fi ;;
    *) echo "QV_WINDOWS_ARCH must be i686 or x86_64, not '$QV_WINDOWS_ARCH'" >&2; return 1 ;;
  esac
  if [ "$QV_WINDOWS_ARCH" = x86_64 ]; then QV_WINDOWS_PRESET=windows-x86_64; else QV_WINDOWS_PRESET=windows; fi
  export QV_WINDOWS_ARCH
}
