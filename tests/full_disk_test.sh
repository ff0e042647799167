#!/usr/bin/env bash
# mendwright-cli on a game folder whose disk fills up during the install: a small tmpfs holding
# the game (a pack, version.ini), the package outside it. Whether the merge of a pack or the copy
# of a File meets the full disk, the program names the file in the disk-full line (2101), puts
# the game folder back byte for byte (no working folder left, no space lost) and exits 1.
# Mounting needs root (CAP_SYS_ADMIN): without it the test exits 77 (skipped).
# Usage: full_disk_test.sh MENDWRIGHT_CLI_EXE [WINE_COMMAND...]
#   WINE_COMMAND runs the program (default: wine in the build's prefix, scripts/wine-env).
set -uo pipefail
exe=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env"
run=("$@")
[ ${#run[@]} -gt 0 ] || run=(wine)
work=$(mktemp -d)
disk="$work/disk"
mkdir -p "$disk"
trap 'umount "$disk" 2>/dev/null || umount -l "$disk" 2>/dev/null; rm -rf "$work"' EXIT
mount -t tmpfs -o size=4m,mode=755 mendwright-full-disk "$disk" 2>/dev/null ||
  { echo "cannot mount a tmpfs here (needs root and CAP_SYS_ADMIN): skipped"; exit 77; }
fail() { echo "FAIL ($case_name): $*"; exit 1; }
win() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# Packs as the game lays them out: a 32-byte header (first word, entry count, index offset, data
# offset), the items' bytes, then the index of 16-byte entries (key, position, size, 0) by key.
# pack.py PATH FIRST_KEY STEP ENTRIES ITEM_BYTES
cat > "$work/pack.py" <<'PY'
import os, struct, sys
path, first, step, n, item = sys.argv[1], *map(int, sys.argv[2:])
with open(path, 'wb') as f:
    f.write(struct.pack('<IIII', 0x4B415054, n, 32 + n * item, 32) + b'\0' * 16)
    f.write(os.urandom(n * item))
    f.write(b''.join(struct.pack('<IIII', first + i * step, 32 + i * item, item, 0) for i in range(n)))
PY
# Every path of a folder with its kind and size, and every file's checksum.
snapshot() {
  (cd "$1" && find . -mindepth 1 -printf '%p %y %s %m\n' | LC_ALL=C sort &&
    find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum)
}
file_xml() { printf '<File><FilePath>%s</FilePath><FileName>%s</FileName></File>' "$1" "$2"; }
describe() {  # $1: package folder; $2: the FileList's files; $3: the PackList's packs
  printf '<?xml version="1.0" encoding="gbk"?>\r\n<Root><AppTitle>full disk</AppTitle>%s<FileList>%s</FileList><PackList>%s</PackList></Root>\r\n' \
    '<VersionInfoList><VersionInfo><Application>velmora.exe</Application><Version>1.3</Version></VersionInfo></VersionInfoList>' \
    "$2" "$3" > "$1/Update.dat"
}

# Each case's package, made in $pkg.
# merge: a small file fits, then the pack's 6 MiB of data do not.
package_merge() {
  python3 "$work/pack.py" "$pkg/patch.pak" 1 2 96 65536
  cp "$(dirname "$exe")/Cobblepak.dll" "$pkg/"
  mkdir -p "$pkg/maps"
  echo "-- map" > "$pkg/maps/map.lua"
  describe "$pkg" "$(file_xml 'maps\' map.lua)" '<Pack><Source>patch.pak</Source><Target>data\art.pak</Target></Pack>'
}
# copy: a small file in a new folder fits, then a 6 MiB file replacing one of the game's does not.
package_copy() {
  mkdir -p "$pkg/maps" "$pkg/data"
  echo "-- map" > "$pkg/maps/map.lua"
  head -c $((6 << 20)) /dev/urandom > "$pkg/data/readme.txt"
  describe "$pkg" "$(file_xml 'maps\' map.lua)$(file_xml 'data\' readme.txt)" ''
}

# case | the game's file the full disk stops
cases=('merge|data\art.pak' 'copy|data\readme.txt')
for entry in "${cases[@]}"; do
  case_name=${entry%%|*} stopped=${entry#*|}
  game="$disk/game"
  pkg="$work/package-$case_name"
  rm -rf "$game" "$pkg"
  mkdir -p "$game/data" "$game/resource" "$pkg"
  : > "$game/velmora.exe"
  printf '[Version]\r\nvelmora.exe=1.2\r\n' > "$game/version.ini"
  echo "the game's own text" > "$game/data/readme.txt"
  python3 "$work/pack.py" "$game/data/art.pak" 0 2 64 8192
  "package_$case_name"
  before=$(snapshot "$game")
  free_before=$(stat -f -c %a "$disk")

  "${run[@]}" "$exe" --package "$(win "$pkg")" --game "$(win "$game")" > "$work/out" 2> "$work/err"
  rc=$?
  [ "$rc" -ne 77 ] || { cat "$work/err"; exit 77; }  # scripts/wine32: no 32-bit Wine here
  out=$(iconv -f GBK -t UTF-8 "$work/out" | tr -d '\r') || fail "output is not GBK"
  [ "$rc" -eq 1 ] || { echo "$out"; cat "$work/err"; fail "exit code $rc, not 1"; }
  stopped_path="$(win "$game")\\$stopped"
  for line in "·磁盘空间不足，无法写入${stopped_path}，请清理磁盘后重试。" "·安装没有完成，游戏目录已恢复原状。"; do
    grep -qxF "$line" <<< "$out" || { echo "$out"; fail "no line: $line"; }
  done
  # Neither a word of success nor of a file left unrestored (2064, 2065, 2077), nor advice to
  # download again.
  grep -E '升级完成|文件复制完成|未能|重新下载' <<< "$out" && fail "wrong lines in the output"
  [ -e "$game/.mendwright" ] && fail "the working folder .mendwright is left"
  after=$(snapshot "$game")
  [ "$after" = "$before" ] || { diff <(echo "$before") <(echo "$after"); fail "the game folder changed"; }
  [ "$(stat -f -c %a "$disk")" = "$free_before" ] || fail "free blocks $free_before before, $(stat -f -c %a "$disk") after"
  echo "$case_name: disk full on $stopped, game folder restored"
done
