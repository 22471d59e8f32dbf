#!/bin/sh
# Runs the SQL example of README.md in the sqlite3 shell on the bundled catalogue of this build
# and expects the output the README shows.
#   ReadmeExample.sh README BUILD_DIR SQLITE3
set -eu
readme=$1 build=$2 shell=$3
block=$(sed -n '/<!-- sqlite-example:begin -->/,/<!-- sqlite-example:end -->/p' "$readme")
sql=$(printf '%s\n' "$block" | sed -n "/^sqlite3 <<'SQL'\$/,/^SQL\$/p" | sed '1d;$d' |
  sed "s|build/release/|$build/|g")
expected=$(printf '%s\n' "$block" | awk '/^```$/ { n++; next } n == 2 { print }')
[ -n "$sql" ] && [ -n "$expected" ] || { echo "README.md has no SQL example"; exit 1; }
# A sanitized extension needs the sanitizer's runtime loaded first into the plain shell.
if ldd "$build/sqlite/libkatalog_sqlite.so" | grep -q libasan; then
  LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)"
  export LD_PRELOAD
fi
actual=$(printf '%s\n' "$sql" | "$shell" -bail)
if [ "$actual" != "$expected" ]; then
  printf 'expected:\n%s\nbut the shell answered:\n%s\n' "$expected" "$actual"
  exit 1
fi
