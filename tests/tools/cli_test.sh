#!/usr/bin/env bash
# Checks vellumo-cli's commands, options and exit statuses.
set -u
cli="$1"
src="$2"
. "$(dirname "$0")/../support/check.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# stat agrees with the system's size and with the CRC-32 in a gzip trailer.
crc_of() { gzip -c -n < "$1" | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n' | tr a-f A-F; }
printf 'hello, world\n' > "$tmp/hello.txt"
: > "$tmp/empty"
name="$tmp/Капитанская дочка.mobi"
cp "$src/samples/kapitanskaya-dochka.mobi" "$name"
for f in "$tmp/hello.txt" "$tmp/empty" "$name"; do
    out=$("$cli" stat "$f")
    check "stat exit $f" 0 $?
    check "stat $f" "size=$(stat -c %s "$f")
crc32=$(crc_of "$f")" "$out"
done
# A bare name resolves against the working folder.
out=$(cd "$tmp" && "$cli" stat hello.txt | head -1)
check "stat bare name" "size=13" "$out"

# Missing files and folders cannot be loaded.
"$cli" stat "$tmp/missing" >/dev/null 2>&1
check "missing file exit" 1 $?
"$cli" stat "$tmp" >/dev/null 2>&1
check "folder exit" 1 $?

# Books load through the view controller: properties, text, and the
# message page on standard error with status 1 when the content fails.
out=$("$cli" props "$src/samples/kapitanskaya-dochka.mobi" | grep '^doc.file.format.id=')
check "props format" "doc.file.format.id=5" "$out"
out=$(cd "$src/samples" && "$cli" props kapitanskaya-dochka.mobi | grep '^doc.file.size=')
check "props bare name" "doc.file.size=243319" "$out"
"$cli" text "$src/samples/kapitanskaya-dochka.mobi" | grep -q 'Береги честь смолоду'
check "text" 0 $?
"$cli" show "$src/samples/kapitanskaya-dochka.mobi" 5 | grep -q '^== text$'
check "show" 0 $?
printf 'abcd' > "$tmp/tiny.azw"
err=$("$cli" text "$tmp/tiny.azw" 2>&1 >/dev/null)
check "tiny book status" 1 $?
check "tiny book message" "ERROR: Wrong document size" "$err"
"$cli" xml "$tmp/missing.azw" >/dev/null 2>&1
check "missing book status" 1 $?

# Usage errors.
"$cli" >/dev/null 2>&1; check "no command" 2 $?
"$cli" nosuch >/dev/null 2>&1; check "unknown command" 2 $?
"$cli" stat >/dev/null 2>&1; check "missing argument" 2 $?
"$cli" --log bogus stat "$tmp/hello.txt" >/dev/null 2>&1; check "bad log level" 2 $?
"$cli" --log trace stat "$tmp/hello.txt" >/dev/null 2>&1; check "log level accepted" 0 $?
"$cli" --help | grep -q '^usage: vellumo-cli'; check "help" 0 $?
"$cli" --version | grep -q '^vellumo-cli [0-9]'; check "version" 0 $?

# The fatal-error path prints its line and exits with the code's low 8 bits.
err=$("$cli" fatal -2 'realloc failed' 2>&1 >/dev/null)
check "fatal status" 254 $?
check "fatal message" "FATAL ERROR #-2: realloc failed" "$err"

if [ "$fails" -eq 0 ]; then echo "cli: all checks passed"; exit 0; fi
exit 1
