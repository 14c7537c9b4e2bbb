# Sourced by the scripts: a private Wine prefix under a build folder, in the zh_CN locale
# (ANSI code page 936, as on a Chinese Windows), and a virtual X display for GUI tests.
#
#   wine_env_setup <build-dir>   exports WINEPREFIX, LANG, LOCPATH, WINEDEBUG; creates the prefix once
#   xvfb_start [Xvfb options]    starts Xvfb on a free display and exports DISPLAY
#   wine_env_teardown            stops the wineserver and Xvfb
#   wine_prefix_copy <from> <to> a copy of a ready prefix for one test (modules hard-linked)
#
# wine_env_setup is made of three steps, which the system tests (tests/system) also call one by
# one to make their template prefix and to start each copy of it:
#   wine_env_vars <build-dir>    exports the variables (prefix <build-dir>/wineprefix); makes the locale
#   wine_prefix_prepare          makes $WINEPREFIX once: wineboot, Wine-managed windows, Chinese fonts
#   wine_services_start          starts the prefix's wineserver and services, detached

wine_env_vars() {
  local build
  build=$(cd "$1" && pwd)
  export WINEPREFIX="$build/wineprefix"
  export WINEDEBUG=-all
  export WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # A private zh_CN.UTF-8 locale, so Wine's ANSI code page is 936 without touching the system.
  export LOCPATH="$build/locale"
  if [ ! -d "$LOCPATH/zh_CN.UTF-8" ]; then
    mkdir -p "$LOCPATH"
    localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1 || true
  fi
  export LANG=zh_CN.UTF-8
  unset LC_ALL
}

wine_prefix_prepare() {
  if [ -f "$WINEPREFIX/.sitemon-ready" ]; then
    return 0
  fi
  wine wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  # Closing windows without a window manager is slow unless Wine manages them itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
  # Chinese fonts: SimSun and 宋体 come from WenQuanYi Micro Hei.
  local reg
  reg="$(dirname "$WINEPREFIX")/font-substitutes.reg"
  python3 - "$reg" <<'PY'
import sys
text = ('Windows Registry Editor Version 5.00\r\n\r\n'
        '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
        '"SimSun"="WenQuanYi Micro Hei"\r\n'
        '"宋体"="WenQuanYi Micro Hei"\r\n'
        '"MS Shell Dlg"="WenQuanYi Micro Hei"\r\n'
        '"MS Shell Dlg 2"="WenQuanYi Micro Hei"\r\n')
open(sys.argv[1], 'wb').write(b'\xff\xfe' + text.encode('utf-16-le'))
PY
  wine regedit /S "$reg" >/dev/null 2>&1 </dev/null || true
  wineserver -w
  touch "$WINEPREFIX/.sitemon-ready"
}

wine_services_start() {
  # Wine's background services inherit the first caller's pipes; start them detached first.
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

wine_env_setup() {
  wine_env_vars "$1"
  wine_prefix_prepare
  wine_services_start
}

# xvfb_start [Xvfb options]: the one way the scripts and the tests (tests/system/wine.py,
# tests/support/wine-isolated) start a virtual display. Xvfb picks the first free display number
# itself and writes it out once it accepts clients (-displayfd). An Xvfb started beside another
# one may lose the race for the same number and end at once: it is started again, and picks
# another. Exports DISPLAY and SITEMON_XVFB_PID.
xvfb_start() {
  local told attempt deadline
  told=$(mktemp "${TMPDIR:-/tmp}/sitemon-display.XXXXXX") || return 1
  for attempt in 1 2 3; do
    Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp "$@" 5>"$told" >/dev/null 2>&1 </dev/null &
    SITEMON_XVFB_PID=$!
    deadline=$((SECONDS + 60))
    until grep -q '^[0-9]' "$told"; do
      if ! kill -0 "$SITEMON_XVFB_PID" 2>/dev/null; then
        SITEMON_XVFB_PID=
        continue 2
      fi
      if [ "$SECONDS" -ge "$deadline" ]; then
        echo "xvfb_start: Xvfb did not tell its display within 60 s" >&2
        kill "$SITEMON_XVFB_PID" 2>/dev/null
        rm -f "$told"
        return 1
      fi
      sleep 0.05
    done
    export DISPLAY=":$(head -n 1 "$told")"
    rm -f "$told"
    # Wine's desktop process picks its display driver once, when it starts; if wine_env_setup
    # already started the prefix's services without a display, windows could not be created.
    # Restart them on this display (detached, as in wine_env_setup).
    if [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1; then
      wineserver -w
      wine_services_start
    fi
    return 0
  done
  echo "xvfb_start: Xvfb ended $attempt times before it told its display" >&2
  rm -f "$told"
  return 1
}

# wine_prefix_copy <template> <target>: a prefix of its own for one test. The template's modules
# are shared through hard links (Wine maps them and never writes them in place); every other
# file (registry, settings, the users' folders) is a copy, so the template never changes.
# WinINet's cache is left out: it only grows, and WinINet makes a new one.
wine_prefix_copy() {
  local template=$1 target=$2
  local cache=AppData/Local/Microsoft/Windows/INetCache
  local modules=( \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.sys' -o -iname '*.drv'
                  -o -iname '*.nls' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm'
                  -o -iname '*.tlb' -o -iname '*.ax' -o -iname '*.msstyles' \) )
  cp -al "$template" "$target" || return 1
  rm -rf "$target/drive_c/users/"*/"$cache"
  find "$target" -type f ! "${modules[@]}" -delete
  (cd "$template" && find . -path "*/$cache" -prune -o -type f ! "${modules[@]}" -print0 |
    tar --null -T - -cf -) | (cd "$target" && tar -xf -)
}

wine_env_teardown() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${SITEMON_XVFB_PID:-}" ]; then
    kill "$SITEMON_XVFB_PID" >/dev/null 2>&1 || true
    wait "$SITEMON_XVFB_PID" 2>/dev/null || true
    SITEMON_XVFB_PID=
  fi
}
