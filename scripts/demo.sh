#!/usr/bin/env bash
# The main job: makes the machine ready (bootstrap), then shows the key API
# library at work against simulated keys, one step at a time. Each step
# prints the command and what it answered; failures that the step expects
# (a refused setting, no key) are shown like any other answer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${UKEY_BUILD:-$top/build}
"$top/scripts/bootstrap.sh"
. "$top/scripts/wine-session.sh" "$build"

run() { # tool args...   (tool: simkey or ukey)
  local tool=$1; shift
  printf '\n$ %s' "$tool"; printf ' %q' "$@"; printf '\n'
  "$build/wine-run" "$build/bin/$tool.exe" "$@" || printf '  (exit code %d)\n' "$?"
}
say() { printf '\n== %s\n' "$*"; }

say "Two simulated keys: an everyday key and a model 6156 key, both plugged in"
run simkey reset
run simkey create 2026A00000000001 --model 6155 --pin 123456 --label "张三的UKey" --plug
run simkey create 2026B00000000002 --model 6156 --csp QVL6156DEMO --tries 6 --plug
run simkey show

say "What the library reports about the keys"
run ukey list
run ukey vendor 0
run ukey vendor 2
run ukey vidpid
run ukey label get --serial 2026A00000000001

say "Writing a label on the key, then one that is too long (33 bytes)"
run ukey label set "工资卡 Payroll" --serial 2026A00000000001
run ukey label get --serial 2026A00000000001
run ukey label set "123456789012345678901234567890123" --serial 2026A00000000001

say "Text settings on the key: accepted on model 6155, refused on model 6156"
run ukey charset utf-8 --serial 2026A00000000001
run ukey language en_US --serial 2026A00000000001
run ukey language EN_US --serial 2026A00000000001
run ukey charset GBK --serial 2026B00000000002
run simkey show

say "Result codes and their texts"
run ukey error -213
run ukey error -221
run ukey error -102

say "Pulling the keys out"
run simkey unplug 2026B00000000002
run ukey list
run ukey label get
run simkey unplug 2026A00000000001
run ukey list
