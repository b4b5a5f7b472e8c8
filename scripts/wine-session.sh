# Sourced by the test and demo scripts: one Xvfb display and one persistent
# wineserver for the build's prefix, both ended when the script exits.
#   . scripts/wine-session.sh BUILD_DIR
ukey_build=$1
export WINEPREFIX="$ukey_build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
ukey_wineserver=/usr/lib/wine/wineserver64

ukey_session_end() {
  "$ukey_wineserver" -k >/dev/null 2>&1 || true
  if [ -n "${ukey_xvfb_pid:-}" ]; then kill "$ukey_xvfb_pid" >/dev/null 2>&1 || true; wait "$ukey_xvfb_pid" 2>/dev/null || true; fi
  rm -f "${ukey_display_file:-}"
}
trap ukey_session_end EXIT

# A fresh server for this prefix: programs that need windows must start in
# a server that has the display from its start.
"$ukey_wineserver" -k >/dev/null 2>&1 || true
ukey_display_file=$(mktemp)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$ukey_display_file" >/dev/null 2>&1 &
ukey_xvfb_pid=$!
for _ in $(seq 50); do [ -s "$ukey_display_file" ] && break; sleep 0.1; done
[ -s "$ukey_display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$ukey_display_file")"
"$ukey_wineserver" -p
# Start the prefix's background programs (services, device manager, the
# desktop window) now, with no terminal or pipe attached: started by the
# first test instead, they would inherit its output pipe and hold it open.
/usr/lib/wine/wine64 cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
