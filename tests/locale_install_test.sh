#!/usr/bin/env bash
# mendwright-cli under another locale than zh_CN (en_US.UTF-8: ANSI code page 1252; ja_JP.UTF-8:
# 932), in a Wine prefix of that locale: from a package folder and into a game folder whose names
# are Chinese, it installs a file named in GBK in Update.dat and one named outside GBK in a UTF-16
# Update.dat, under their Unicode names as Linux sees them (Wine stores names in UTF-8). Output
# redirected stays GBK as on code page 936; --utf8 writes UTF-8.
# Usage: locale_install_test.sh LOCALE MENDWRIGHT_CLI_EXE
set -uo pipefail
loc=$1
exe=$2
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env"
export LANG=$loc LC_ALL=$loc WINEPREFIX="$top/build/$MW_WIN/wineprefix-${loc%%.*}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL ($loc): $*"; exit 1; }
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }

game="$work/塔恩维克 游戏"
mkdir -p "$game" "$work/gbk包/data/地图" "$work/utf16包/data/Straße"
: > "$game/velmora.exe"
echo "-- map" > "$work/gbk包/data/地图/小地图.lua"
echo "-- chart" > "$work/utf16包/data/Straße/지도_Ölkarte.lua"
{
  printf '<?xml version="1.0" encoding="gbk"?>\r\n<Root><FileList>\r\n'
  gbk '<File><FilePath>data\地图\</FilePath><FileName>小地图.lua</FileName></File>'
  printf '\r\n</FileList></Root>\r\n'
} > "$work/gbk包/Update.dat"
{
  printf '\xff\xfe'
  printf '%s\r\n' '<?xml version="1.0" encoding="UTF-16"?>' '<Root><FileList>' \
    '<File><FilePath>data\Straße\</FilePath><FileName>지도_Ölkarte.lua</FileName></File>' \
    '</FileList></Root>' | iconv -f UTF-8 -t UTF-16LE
} > "$work/utf16包/Update.dat"

install() {  # $1: package folder name; further arguments go to the program
  local pkg=$1
  shift
  wine "$exe" --package "Z:$work/$pkg" --game "Z:$game" "$@" > "$work/out" 2> "$work/err"
  local rc=$?
  [ "$rc" -eq 0 ] || { cat "$work/out" "$work/err"; fail "$pkg: exit code $rc"; }
}

install gbk包
[ "$(cat "$game/data/地图/小地图.lua" 2>/dev/null)" = "-- map" ] || fail "data/地图/小地图.lua not installed under its name"
grep -qF "$(gbk '·正在复制文件：小地图.lua')" "$work/out" || fail "redirected output is not GBK"

install utf16包 --utf8
[ "$(cat "$game/data/Straße/지도_Ölkarte.lua" 2>/dev/null)" = "-- chart" ] ||
  fail "data/Straße/지도_Ölkarte.lua not installed under its name"
grep -qF '·正在复制文件：지도_Ölkarte.lua' "$work/out" || fail "--utf8 output is not UTF-8"

# Nothing else, and no name made of the code page's default characters.
listing=$(cd "$game" && find . -mindepth 1 -not -path './resource*' | LC_ALL=C sort | tr '\n' ' ')
expected="./data ./data/Straße ./data/Straße/지도_Ölkarte.lua ./data/地图 ./data/地图/小地图.lua ./velmora.exe "
[ "$listing" = "$expected" ] || fail "game folder holds: $listing"
# The packaging tool on the same system: a pack source named in Chinese, which this code page
# cannot write, is read through its short name by the pack code's narrow-path check.
pack_exe="$(dirname "$exe")/mendwright-pack.exe"
mkdir -p "$work/pack包"
cp "$top/examples/package/art/patch.pak" "$work/pack包/资源补丁.pak"
cp "$(dirname "$exe")/Cobblepak.dll" "$work/pack包/"
for verb in make check; do
  args=()
  [ "$verb" = make ] && args=(--title T --pack '资源补丁.pak=data\art.pak')
  wine "$pack_exe" "$verb" "Z:$work/pack包" "${args[@]}" > "$work/out" 2>&1 ||
    { cat "$work/out"; fail "mendwright-pack $verb on a pack named in Chinese"; }
done
echo "$loc: both packages installed under their Unicode names; a pack named in Chinese made and checked"
