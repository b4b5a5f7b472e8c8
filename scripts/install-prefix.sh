#!/bin/sh
# Lays a build out in its Wine prefix as an installation would: the
# simulated key's components in the system directory, the product's registry
# values. Makes the prefix first when it does not exist. Idempotent.
#   scripts/install-prefix.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "install-prefix: $wine missing (run scripts/bootstrap.sh)" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/.ukey-prefix" ]; then
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >"$build/wineboot.log" 2>&1 || { echo "install-prefix: wineboot failed (see $build/wineboot.log)" >&2; exit 1; }
  [ -d "$WINEPREFIX/drive_c/windows/system32" ] || { echo "install-prefix: wineboot made no system directory" >&2; exit 1; }
  touch "$WINEPREFIX/.ukey-prefix"
fi

sys="$WINEPREFIX/drive_c/windows/system32"
install_file() { cmp -s "$1" "$2" 2>/dev/null || cp -f "$1" "$2"; }
for f in "$build"/bin/system/*.dll; do
  install_file "$f" "$sys/$(basename "$f")"
done
# The agent lives in the system directory: it is started by its bare name.
install_file "$build/bin/K2Svr_VELTA.exe" "$sys/K2Svr_VELTA.exe"
# The provider as the system's CryptoAPI registers it has a file of its own.
install_file "$build/bin/system/K2CSP_VELTA.dll" "$sys/K2CSP_VELTAs.dll"

# The install folder: the language files, stored as UTF-16 with a byte-order
# mark so that the wide profile functions read every script.
install_dir="$WINEPREFIX/drive_c/Program Files (x86)/VLBK/Quorvell"
mkdir -p "$install_dir/langs"
for f in "$top"/agent/langs/*.ini; do
  out="$install_dir/langs/$(basename "$f")"
  { printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$f"; } > "$out.tmp"
  cmp -s "$out.tmp" "$out" 2>/dev/null && rm -f "$out.tmp" || mv -f "$out.tmp" "$out"
done

# Registry values of an installation; imported once per change of the file.
stamp="$WINEPREFIX/.ukey-registry"
if ! cmp -s "$top/scripts/product.reg" "$stamp" 2>/dev/null; then
  # Wine maps the Unix root to drive Z:.
  reg_file="Z:$(echo "$top/scripts/product.reg" | sed 's|/|\\|g')"
  "$wine" regedit /S "$reg_file"
  cp "$top/scripts/product.reg" "$stamp"
fi
