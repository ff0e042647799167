#!/usr/bin/env bash
# Ctrl+C on mendwright-cli stops the install worker as Quit does in the dialog: the process ends
# promptly with exit code 1, the lines so far are printed, and no file after the stop is copied.
# Usage: cli_interrupt_test.sh MENDWRIGHT_CLI_EXE
set -uo pipefail
exe=$1
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# 3000 small files, then a large one, then a last one.
mkdir -p "$work/pkg/data" "$work/game"
(cd "$work/pkg/data" && head -c $((3000 * 4096)) /dev/zero | split -b 4096 -a 4 -d - f)
head -c $((256 << 20)) /dev/zero > "$work/pkg/big.pak"
echo last > "$work/pkg/last.txt"
{
  printf '<Root><FileList>\n'
  for f in "$work"/pkg/data/f*; do
    printf '<File><FilePath>data\\</FilePath><FileName>%s</FileName></File>\n' "${f##*/}"
  done
  printf '<File><FilePath>\\</FilePath><FileName>big.pak</FileName></File>\n'
  printf '<File><FilePath>\\</FilePath><FileName>last.txt</FileName></File>\n'
  printf '</FileList></Root>\n'
} > "$work/pkg/Update.dat"

interrupt_after() {  # $1: a file in the game folder that must exist before Ctrl+C
  rm -rf "$work/game"; mkdir -p "$work/game"; : > "$work/game/velmora.exe"
  wine "$exe" --package "Z:$work/pkg" --game "Z:$work/game" > "$work/out" 2> "$work/err" &
  pid=$!
  for _ in $(seq 600); do [ -e "$work/game/$1" ] && break; sleep 0.05; done
  [ -e "$work/game/$1" ] || fail "the installation did not get to $1"
  start=$(date +%s%N)
  kill -INT "$pid"
  wait "$pid"; rc=$?
  elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$rc" -eq 1 ] || fail "exit code $rc after Ctrl+C (expected 1)"
  # The copy stops at once; putting 3,000 files back takes a moment under Wine.
  [ "$elapsed_ms" -lt 15000 ] || fail "Ctrl+C took $elapsed_ms ms"
  [ ! -e "$work/game/last.txt" ] || fail "a file after the stop was copied"
  done_line=$(printf '\xa1\xa4\xce\xc4\xbc\xfe\xb8\xb4\xd6\xc6\xcd\xea\xb3\xc9\xa1\xa3')  # ·文件复制完成。 in GBK
  ! grep -q "$done_line" "$work/out" || fail "the run reported success"
  [ -s "$work/out" ] || fail "no lines were printed"
  echo "Ctrl+C after $1: exit 1 in $elapsed_ms ms, $(wc -l < "$work/out") lines"
}

# Between small files, and during the large file: the worker stops between chunks and puts the
# game folder back as it was: the launcher, and the resource folder the resource check makes.
# The large file is written at its destination: the rollback removes what was written of it.
for at in data/f0100 big.pak; do
  interrupt_after "$at"
  left=$(cd "$work/game" && find . -mindepth 1 | sort | tr '\n' ' ')
  [ "$left" = "./resource ./velmora.exe " ] || fail "the game folder was not put back after Ctrl+C at $at: $left"
done
echo "1 passed, 0 failed"
