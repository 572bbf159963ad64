#!/usr/bin/env bash
# vellumo-cli events: the printed events, the choice of parser, exit statuses.
set -u
cli="$1"
data="$2"
. "$(dirname "$0")/../support/check.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A windows-1251 FictionBook: the XML parser, the declared charset, escaped
# quotes, TEXT_PRE inside pre with its tab expanded.
out=$("$cli" events "$data/small.fb2")
check "fb2 exit" 0 $?
check "fb2 events" 'ENCODING windows-1251 +table
ENCODING windows-1251 +table
START
OPEN ?xml
ATTR version="1.0"
ATTR encoding="windows-1251"
ENCODING windows-1251 +table
BODY
CLOSE ?xml
TEXT " " 0x0000
OPEN FictionBook
ATTR xmlns:l="http://www.w3.org/1999/xlink"
BODY
OPEN body
BODY
OPEN p
BODY
TEXT "Привет & " 0x0000
OPEN a
ATTR l:href="#n"
BODY
TEXT "\"x\"" 0x0000
CLOSE a
CLOSE p
TEXT " " 0x0000
OPEN pre
BODY
TEXT "a       b" 0x0001
CLOSE pre
CLOSE body
CLOSE FictionBook
TEXT " " 0x0000
STOP' "$out"

# HTML goes to the HTML parser (names in lower case); FLAGS reach OnText.
out=$("$cli" events "$data/small.html" 0x4 | grep -E '^(OPEN|ATTR|TEXT)')
check "html events" 'OPEN html
OPEN head
OPEN title
TEXT "T" 0x0004
OPEN body
OPEN p
ATTR class="x"
TEXT "One two" 0x0004' "$out"

# Not markup, missing, and usage errors.
printf 'just some plain text, nothing else in this file at all\n' > "$tmp/plain.txt"
"$cli" events "$tmp/plain.txt" >/dev/null 2>&1; check "plain text exit" 1 $?
"$cli" events "$tmp/missing.fb2" >/dev/null 2>&1; check "missing exit" 1 $?
"$cli" events >/dev/null 2>&1; check "no file exit" 2 $?
"$cli" events "$data/small.fb2" 0xZZ >/dev/null 2>&1; check "bad flags exit" 2 $?

if [ "$fails" -eq 0 ]; then echo "events: all checks passed"; exit 0; fi
exit 1
