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

say "The PIN: checked on the key's PIN pad (scripted here), tries counted, changed"
run ukey pin info --serial 2026A00000000001
run simkey pinpad pin 000000
run ukey pin verify --serial 2026A00000000001
run ukey pin info --serial 2026A00000000001
run simkey pinpad change 123456 135790
run ukey pin change --serial 2026A00000000001
run simkey pinpad pin 135790
run ukey pin verify --serial 2026A00000000001
run ukey pin logout-all

say "The key's data word, kept by its provider"
run ukey data get 1 --serial 2026A00000000001
run ukey data set 0x24 --serial 2026A00000000001
run ukey data get 2 --serial 2026A00000000001

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

say "The tray agent: the road of one key insertion"
key=2026C00000000003
run simkey create $key --model 6155 --csp QVLDEMO0003 --pin 246810 --label "李四的UKey"
run simkey container add $key --alg rsa2048 --kind 1 --cn "李四 transaction signing"
run simkey container add $key --alg sm2 --kind 3 --key-spec 1 --cn "李四 encryption"
# The bank's page opens in a browser that only writes down how it was started.
browser_log="$build/demo-browser.log"; rm -f "$browser_log"
export UKEY_FAKE_BROWSER_RECORD="Z:$(echo "$browser_log" | sed 's|/|\\|g')"
"$build/wine-run" reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\iexplore.exe' /ve /d \
  "Z:$(echo "$build/bin/fake_browser.exe" | sed 's|/|\\|g')" /f >/dev/null 2>&1 || true
printf '\n$ K2Svr_VELTA.exe            (the tray agent, in the background)\n'
"$build/wine-run" "$build/bin/K2Svr_VELTA.exe" &
agent_pid=$!
sleep 2
waits="$build/demo-wait.log"
printf '$ ukey wait --count 2        (a bank application waiting for key events, in the background)\n'
"$build/wine-run" "$build/bin/ukey.exe" wait --count 2 >"$waits" 2>&1 &
wait_pid=$!
sleep 1
run simkey pinpad pin 246810
run simkey plug $key
for _ in $(seq 40); do "$build/wine-run" "$build/bin/ukey.exe" stores | grep -q QVLDEMO0003 && break; sleep 0.25; done
run ukey stores
printf '\n(the e-banking launcher started the browser with:%s)\n' "$(cut -f2 "$browser_log" 2>/dev/null | head -1)"
run certsign "transaction signing" "pay 100.00 to account 6222 0001"
run simkey show
run simkey unplug $key
for _ in $(seq 40); do "$build/wine-run" "$build/bin/ukey.exe" stores | grep -q QVLDEMO0003 || break; sleep 0.25; done
run ukey stores
wait $wait_pid || true
printf '\nwhat the waiting application printed:\n'; cat "$waits"
printf '\n$ K2Svr_VELTA kill            (closes the agent; the program itself always ends with 1)\n'
"$build/wine-run" "$build/bin/K2Svr_VELTA.exe" kill || true
wait $agent_pid || true
printf 'agent ended\n'
