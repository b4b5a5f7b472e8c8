#!/usr/bin/env bash
# Makes a Debian 12 machine ready to build and test the UKey middleware, then
# configures and builds it. Idempotent: a second run only checks and rebuilds
# what changed. One line per stage; a failure names what is missing.
#
#   scripts/bootstrap.sh            packages, OpenSSL, GoogleTest, configure, build
#   scripts/bootstrap.sh --deps     everything but the project build
#
# UKEY_CACHE (default /var/cache/ukey-build) holds the cross-built OpenSSL and
# GoogleTest, keyed by version, outside the work tree.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cache=${UKEY_CACHE:-/var/cache/ukey-build}
build=${UKEY_BUILD:-$top/build}
deps_only=0
[ "${1:-}" = "--deps" ] && deps_only=1

stage() { printf '[bootstrap] %-22s %s\n' "$1" "$2"; }
fail()  { printf '[bootstrap] FAILED: %s\n' "$*" >&2; exit 1; }
logf()  { echo "$cache/logs/$1.log"; }

[ "$(id -u)" = 0 ] || command -v sudo >/dev/null || fail "run as root (packages are installed with apt-get)"
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
mkdir -p "$cache/logs" 2>/dev/null || { $SUDO mkdir -p "$cache/logs"; $SUDO chown "$(id -u):$(id -g)" "$cache" "$cache/logs"; }

# --- 1. Debian packages ------------------------------------------------------
packages=(cmake ninja-build make perl dpkg-dev
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
          wine wine64 xvfb xauth googletest nlohmann-json3-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  stage packages "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update >"$(logf apt-update)" 2>&1 || fail "apt-get update (see $(logf apt-update))"
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}" >"$(logf apt-install)" 2>&1 \
    || fail "apt-get install ${missing[*]} (see $(logf apt-install))"
else
  stage packages "present"
fi
for tool in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix Xvfb cmake ninja; do
  command -v "$tool" >/dev/null || fail "$tool not found after package install"
done
[ -x /usr/lib/wine/wine64 ] || fail "/usr/lib/wine/wine64 not found after package install (package wine64)"

# --- 2. OpenSSL for mingw64 (static libcrypto) from Debian's source package --
# The cache holds one folder per source version; any complete one is used.
ossl_dir=""
for d in $(ls -d "$cache"/openssl-*-mingw64 2>/dev/null | sort -rV); do
  if [ -f "$d/lib/libcrypto.a" ] && [ -f "$d/include/openssl/opensslv.h" ]; then ossl_dir=$d; break; fi
done
if [ -n "$ossl_dir" ]; then
  stage openssl "cached ($(basename "$ossl_dir"))"
else
  src_list=/etc/apt/sources.list.d/ukey-deb-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    [ -n "$uri" ] || uri=http://deb.debian.org/debian
    printf 'Types: deb-src\nURIs: %s\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\nTypes: deb-src\nURIs: http://deb.debian.org/debian-security\nSuites: bookworm-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uri" \
      | $SUDO tee "$src_list" >/dev/null
    $SUDO apt-get update >"$(logf apt-update-src)" 2>&1 || fail "apt-get update with deb-src (see $(logf apt-update-src))"
  fi
  versions=$(apt-cache showsrc openssl 2>/dev/null | awk '/^Version:/ {print $2}' | sort -rV)
  [ -n "$versions" ] || fail "no openssl source package known to apt (deb-src entry in $src_list)"
  work="$cache/openssl-src"; ossl_ver=""
  : >"$(logf openssl-source)"
  # A mirror may carry a version's binary packages but not all of its source
  # files: take the newest version whose source downloads completely.
  for v in $versions; do
    rm -rf "$work"; mkdir -p "$work"
    if (cd "$work" && apt-get source --download-only "openssl=$v" && dpkg-source --no-check -x ./*.dsc src) \
         >>"$(logf openssl-source)" 2>&1; then ossl_ver=$v; break; fi
  done
  [ -n "$ossl_ver" ] || fail "apt-get source openssl: no version downloadable (see $(logf openssl-source))"
  ossl_dir="$cache/openssl-${ossl_ver}-mingw64"
  stage openssl "building $ossl_ver for mingw64 (about 3 minutes)"
  (cd "$work/src" \
     && ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- \
          no-shared no-tests no-module no-engine no-dso --prefix="$ossl_dir" \
     && make -j"$(nproc)" build_libs) >"$(logf openssl-build)" 2>&1 \
    || fail "OpenSSL cross build (see $(logf openssl-build))"
  rm -rf "$ossl_dir.tmp"; mkdir -p "$ossl_dir.tmp/lib" "$ossl_dir.tmp/include"
  cp "$work/src/libcrypto.a" "$ossl_dir.tmp/lib/"
  cp -r "$work/src/include/openssl" "$ossl_dir.tmp/include/"
  rm -rf "$ossl_dir"; mv "$ossl_dir.tmp" "$ossl_dir"; rm -rf "$work"
  stage openssl "built into $ossl_dir"
fi

# --- 3. GoogleTest, cross-built from Debian's sources ------------------------
gt_ver=$(dpkg-query -W -f='${Version}' googletest)
gt_dir="$cache/googletest-${gt_ver}-mingw64"
if [ -f "$gt_dir/lib/libgtest.a" ] && [ -f "$gt_dir/lib/libgtest_main.a" ]; then
  stage googletest "cached ($gt_ver)"
else
  stage googletest "building $gt_ver for mingw64"
  rm -rf "$cache/googletest-build"
  cmake -S /usr/src/googletest -B "$cache/googletest-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$gt_dir" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF \
        >"$(logf googletest)" 2>&1 \
    && cmake --build "$cache/googletest-build" --target install >>"$(logf googletest)" 2>&1 \
    || fail "GoogleTest cross build (see $(logf googletest))"
  rm -rf "$cache/googletest-build"
fi

[ $deps_only = 1 ] && exit 0

# --- 4. Configure and build (x86_64: everything; i686: the 32-bit programs) ---
conf() { # dir toolchain
  local dir=$1 tc=$2
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$tc" \
        -DCMAKE_BUILD_TYPE=Release -DUKEY_OPENSSL_ROOT="$ossl_dir" -DUKEY_GTEST_ROOT="$gt_dir" \
        >"$(logf "configure-$(basename "$dir")")" 2>&1 \
    || fail "cmake configure of $dir (see $(logf "configure-$(basename "$dir")"))"
}
stage configure "$build (x86_64), $build-i686 (i686)"
conf "$build" mingw-x86_64.cmake
conf "$build-i686" mingw-i686.cmake
stage build "x86_64"
cmake --build "$build" >"$(logf build-x86_64)" 2>&1 || { tail -30 "$(logf build-x86_64)" >&2; fail "x86_64 build (see $(logf build-x86_64))"; }
stage build "i686"
cmake --build "$build-i686" >"$(logf build-i686)" 2>&1 || { tail -30 "$(logf build-i686)" >&2; fail "i686 build (see $(logf build-i686))"; }
stage prefix "Wine prefix and installation in $build/wine"
cmake --build "$build" --target install-prefix >"$(logf install-prefix)" 2>&1 \
  || { tail -30 "$(logf install-prefix)" >&2; fail "Wine prefix set-up (see $(logf install-prefix))"; }
stage ready "$build"
