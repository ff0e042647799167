#!/bin/sh
# packtool end to end: builds two small packs byte by byte, merges them, lists and verifies the
# result, and checks the exit codes for a damaged pack and a wrong command line.
# Usage: packtool_test.sh PACKTOOL SCRATCH_DIR
set -u
tool=$1
dir=$2
rm -rf "$dir" && mkdir -p "$dir" || exit 1
fail() { echo "FAIL: $*"; exit 1; }

# le32 N: N as 4 little-endian bytes.
le32() {
  printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) \
    $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}
# header COUNT INDEX_OFFSET DATA_OFFSET
header() { le32 1; le32 "$1"; le32 "$2"; le32 "$3"; printf '0123456789abcdef'; }
entry() { le32 "$1"; le32 "$2"; le32 0; le32 0; }

{ header 1 36 32; printf 'DDDD'; entry 20 32; } > "$dir/dst.pak"
{ header 2 34 32; printf 'ss'; entry 30 33; entry 10 32; } > "$dir/src.pak"

"$tool" verify "$dir/dst.pak" || fail "sound destination not verified"
"$tool" merge "$dir/dst.pak" "$dir/src.pak" || fail "merge"
"$tool" verify "$dir/dst.pak" || fail "merged pack not sound"
[ "$(wc -c < "$dir/dst.pak")" -eq 102 ] || fail "merged size"
"$tool" list "$dir/dst.pak" > "$dir/list.txt" || fail "list"
grep -q '^entry count   3$' "$dir/list.txt" || fail "list: count"
grep -q '^index offset  54$' "$dir/list.txt" || fail "list: index offset"
grep -Eq '^ +10 +52 ' "$dir/list.txt" || fail "list: key 10 moved to 52"
grep -Eq '^ +30 +53 ' "$dir/list.txt" || fail "list: key 30 moved to 53"

# Unsorted index: verify says why and exits 1; a merge into it is refused and changes nothing.
{ header 2 34 32; printf 'ss'; entry 30 33; entry 10 32; } > "$dir/bad.pak"
cp "$dir/bad.pak" "$dir/bad.orig"
"$tool" verify "$dir/bad.pak" 2> "$dir/why.txt"; [ $? -eq 1 ] || fail "verify exit code"
grep -q 'not above the key before it' "$dir/why.txt" || fail "verify reason"
"$tool" merge "$dir/bad.pak" "$dir/src.pak" 2> /dev/null; [ $? -eq 1 ] || fail "merge exit code"
cmp -s "$dir/bad.pak" "$dir/bad.orig" || fail "refused merge changed the file"
# Headers that read as an empty pack or put the data inside the header, with data and index after.
{ le32 0; le32 0; le32 0; le32 0; le32 0; le32 0; le32 0; le32 0; printf 'DDDD'; entry 20 32; } \
  > "$dir/zero.pak"
"$tool" verify "$dir/zero.pak" 2> "$dir/why.txt"; [ $? -eq 1 ] || fail "zeroed header verified"
grep -q 'data offset lies inside the 32-byte header' "$dir/why.txt" || fail "zeroed header reason"
{ header 1 36 0; printf 'DDDD'; entry 20 32; } > "$dir/at0.pak"
"$tool" verify "$dir/at0.pak" 2> /dev/null; [ $? -eq 1 ] || fail "data offset 0 verified"
"$tool" frobnicate 2> /dev/null; [ $? -eq 2 ] || fail "usage exit code"
rm -rf "$dir"
echo "packtool: all checks passed"
