#!/usr/bin/env bash
# Checks "vellumo-cli ls" and "vellumo-cli cat" against unzip: on archives made
# here with zip (stored and deflated entries, folders, comments, data
# descriptors, zip64 records, encryption, bzip2, names in UTF-8, cp866 and
# cp1251, truncated copies) and on every ZIP-based book of the shared corpus
# when it is present.
set -u
cli="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
src="$2"
fails=0
fail() {
    echo "FAIL: $*"
    fails=$((fails + 1))
}

for tool in zip unzip perl cmp; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "archive: $tool is not installed; skipped"
        exit 0
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C.UTF-8

# unzip reads names as wildcard patterns; this makes one match only itself.
literal() { printf '%s' "$1" | sed 's/[][*?\\]/\\&/g'; }

# Compares the listing with unzip -Z1 and every entry with unzip -p.
same_as_unzip() {  # ARCHIVE
    local a="$1"
    "$cli" ls "$a" > "$tmp/ours.lst" 2> "$tmp/err"
    local rc=$?
    unzip -Z1 "$a" > "$tmp/theirs.lst" 2>/dev/null
    if [ $rc -ne 0 ]; then fail "ls $a exits $rc: $(cat "$tmp/err")"; return; fi
    if ! cmp -s "$tmp/ours.lst" "$tmp/theirs.lst"; then
        fail "ls $a differs from unzip -Z1"
        diff "$tmp/ours.lst" "$tmp/theirs.lst" | head -5
        return
    fi
    while IFS= read -r name; do
        "$cli" cat "$a" "$name" > "$tmp/ours.bin" 2> "$tmp/err"
        rc=$?
        unzip -p "$a" "$(literal "$name")" > "$tmp/theirs.bin" 2>/dev/null
        if [ $rc -ne 0 ]; then
            fail "cat $a $name exits $rc: $(cat "$tmp/err")"
        elif ! cmp -s "$tmp/ours.bin" "$tmp/theirs.bin"; then
            fail "cat $a $name differs from unzip -p"
        fi
    done < "$tmp/ours.lst"
}

# ls must print exactly the lines given after the archive.
lists() {  # ARCHIVE NAME...
    local a="$1"
    shift
    local got
    got=$("$cli" ls "$a" 2>&1)
    local want
    want=$(printf '%s\n' "$@")
    [ "$got" = "$want" ] || fail "ls $a: expected [$want], got [$got]"
}

# ---- Archives made here ------------------------------------------------------

w="$tmp/work"
mkdir -p "$w/book/Images" "$w/book/empty"
cd "$w" || exit 1
seq 1 30000 > book/numbers.txt
printf 'short text\n' > book/short.txt
head -c 5000 /dev/urandom > book/Images/noise.bin
printf 'Привет, мир\n' > "book/Привет.txt"
printf 'emoji\n' > "book/smile-😀.txt"
: > book/zero.txt

zip -qr "$tmp/plain.zip" book
zip -qr0 "$tmp/stored.zip" book
echo "a comment for the archive" | zip -qrz "$tmp/comment.zip" book
zip -qr -fz "$tmp/zip64.zip" book
(cd book && zip -qr -Z bzip2 "$tmp/bzip2.zip" numbers.txt short.txt)
zip -qr -e -P x "$tmp/encrypted.zip" book
# Streamed input: zip64 local fields (seekable output) and data descriptors
# (a pipe as output).
cat book/numbers.txt | zip -q "$tmp/stdin.zip" -
cat book/numbers.txt | zip -q - - | cat > "$tmp/stdin-pipe.zip"
zip -qr - book | cat > "$tmp/descriptors.zip"
cp "$tmp/stored.zip" "$tmp/utf8flag.zip"
# Set the UTF-8 name flag (0x0800) in every local and central header.
perl -0777 -pi -e 's/(PK\x03\x04..)(.)(.)/$1.$2.chr(ord($3)|8)/gse;
                   s/(PK\x01\x02....)(.)(.)/$1.$2.chr(ord($3)|8)/gse' "$tmp/utf8flag.zip"

for a in plain stored comment zip64 stdin stdin-pipe descriptors utf8flag; do
    same_as_unzip "$tmp/$a.zip"
done

# Entries that give no stream are still listed.
for a in bzip2 encrypted; do
    "$cli" ls "$tmp/$a.zip" > "$tmp/ours.lst" 2>/dev/null
    unzip -Z1 "$tmp/$a.zip" > "$tmp/theirs.lst" 2>/dev/null
    cmp -s "$tmp/ours.lst" "$tmp/theirs.lst" || fail "ls $a.zip differs from unzip -Z1"
done
"$cli" cat "$tmp/bzip2.zip" numbers.txt >/dev/null 2>&1
[ $? -eq 1 ] || fail "cat of a bzip2 entry should exit 1"
for e in book/short.txt book/numbers.txt; do
    "$cli" cat "$tmp/encrypted.zip" "$e" >/dev/null 2>&1
    [ $? -eq 1 ] || fail "cat of encrypted $e should exit 1"
done

# cp866 names on an archive made on MS-DOS (host byte 0) and cp1251 names on
# one made on Unix. unzip prints such names in another code page, so the names
# are checked against the expected text and the contents against unzip's
# entries in the same order.
mkdir -p "$w/cp866" "$w/cp1251"
(cd "$w/cp866" && printf 'one\n' > "$(printf '\x8f\xe0\xa8\xa2\xa5\xe2.txt')" &&
    printf 'two\n' > "$(printf '\x85\xf1\xa6\xa8\xaa')" && zip -q0 "$tmp/cp866.zip" ./*)
perl -0777 -pi -e 's/(PK\x01\x02.)\x03/$1\x00/gs' "$tmp/cp866.zip"
(cd "$w/cp1251" && printf 'three\n' > "$(printf '\xcf\xf0\xe8\xe2\xe5\xf2.txt')" &&
    zip -q0 "$tmp/cp1251.zip" ./*)
lists "$tmp/cp866.zip" "Еёжик" "Привет.txt"
lists "$tmp/cp1251.zip" "Привет.txt"
for a in cp866 cp1251; do
    "$cli" ls "$tmp/$a.zip" > "$tmp/ours.lst" 2>/dev/null
    unzip -Z1 "$tmp/$a.zip" > "$tmp/theirs.lst" 2>/dev/null
    exec 3< "$tmp/theirs.lst"
    while IFS= read -r name; do
        IFS= read -r theirs <&3
        "$cli" cat "$tmp/$a.zip" "$name" > "$tmp/ours.bin" 2>/dev/null
        unzip -p "$tmp/$a.zip" "$(literal "$theirs")" > "$tmp/theirs.bin" 2>/dev/null
        cmp -s "$tmp/ours.bin" "$tmp/theirs.bin" || fail "cat $a.zip $name differs from unzip -p"
    done < "$tmp/ours.lst"
    exec 3<&-
done

# Truncated copies: every cut lists a prefix of the whole listing (or exits 1
# when nothing is readable), never crashes, and what is listed reads as
# unzip reads it from the whole archive.
for a in plain descriptors zip64; do
    full="$tmp/$a.zip"
    unzip -Z1 "$full" > "$tmp/full.lst" 2>/dev/null
    size=$(stat -c %s "$full")
    step=$((size / 25 + 1))
    for ((cut = 0; cut < size; cut += step)); do
        head -c "$cut" "$full" > "$tmp/cut.zip"
        "$cli" ls "$tmp/cut.zip" > "$tmp/cut.lst" 2>/dev/null
        rc=$?
        if [ $rc -ne 0 ] && [ $rc -ne 1 ]; then
            fail "ls of $a.zip cut at $cut exits $rc"
            continue
        fi
        n=$(wc -l < "$tmp/cut.lst")
        if ! head -n "$n" "$tmp/full.lst" | cmp -s - "$tmp/cut.lst"; then
            fail "ls of $a.zip cut at $cut is not a prefix of the whole listing"
            continue
        fi
        while IFS= read -r name; do
            "$cli" cat "$tmp/cut.zip" "$name" > "$tmp/ours.bin" 2>/dev/null
            unzip -p "$full" "$(literal "$name")" > "$tmp/theirs.bin" 2>/dev/null
            cmp -s "$tmp/ours.bin" "$tmp/theirs.bin" || fail "cat $name of $a.zip cut at $cut"
        done < "$tmp/cut.lst"
    done
done
# A copy cut inside its directory still lists every entry.
size=$(stat -c %s "$tmp/plain.zip")
head -c $((size - 100)) "$tmp/plain.zip" > "$tmp/cut.zip"
"$cli" ls "$tmp/cut.zip" > "$tmp/cut.lst" 2>/dev/null
unzip -Z1 "$tmp/plain.zip" | cmp -s - "$tmp/cut.lst" || fail "ls of a copy cut in its directory"

# Exit statuses.
printf 'not an archive\n' > "$tmp/text.txt"
"$cli" ls "$tmp/text.txt" >/dev/null 2>&1; [ $? -eq 1 ] || fail "ls of a text file should exit 1"
"$cli" ls "$tmp/missing.zip" >/dev/null 2>&1; [ $? -eq 1 ] || fail "ls of a missing file should exit 1"
"$cli" cat "$tmp/plain.zip" book/missing >/dev/null 2>&1; [ $? -eq 1 ] || fail "cat of a missing entry should exit 1"
"$cli" cat "$tmp/plain.zip" BOOK/SHORT.TXT >/dev/null 2>&1; [ $? -eq 1 ] || fail "cat matches names exactly"
"$cli" cat "$tmp/plain.zip" /book/short.txt | cmp -s - "$w/book/short.txt" || fail "cat with a leading /"
"$cli" ls >/dev/null 2>&1; [ $? -eq 2 ] || fail "ls without an archive should exit 2"

# ---- The shared corpus --------------------------------------------------------

corpus=""
for c in "$src/../shared/corpus" /work/shared/corpus; do
    if [ -d "$c" ]; then corpus="$c"; break; fi
done
if [ -n "$corpus" ]; then
    books=0
    while IFS= read -r -d '' book; do
        same_as_unzip "$book"
        books=$((books + 1))
    done < <(find "$corpus" -type f \( -name '*.zip' -o -name '*.epub' -o -name '*.txtz' \
             -o -name '*.htmlz' \) -print0 | sort -z)
    echo "archive: $books corpus archives compared"
else
    echo "archive: no corpus found; corpus comparison skipped"
fi

if [ "$fails" -eq 0 ]; then echo "archive: all checks passed"; exit 0; fi
echo "archive: $fails failures"
exit 1
