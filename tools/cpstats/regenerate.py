#!/usr/bin/env python3
"""Rebuilds the code page detector's statistics from running text.

1. Downloads the Debian packages below (translated manual pages, program
   message catalogues and collections of sayings) with `apt-get download` and unpacks them with
   `dpkg-deb -x` into the work folder; nothing is installed.
2. Turns them into plain UTF-8 text per language: manual pages with their
   roff markup stripped, message catalogues (.mo) as their translated
   messages with format directives removed, sayings with their line breaks
   joined. Each manual page, each run of 40 messages of a catalogue and each
   run of 40 sayings is one document.
3. Holds out one document in six (chosen by a CRC-32 of its name) for testing;
   the rest is training text.
4. Converts each statistics entry's training text to its code page with iconv
   and counts it with the engine's own counting (tools/cpstats/cpstats_gen.cpp,
   linked against the foundation library) into
   engine/foundation/cpstats_tables.inc.
5. Writes a held-out sample of about 3 KB per (code page, language) into
   tests/foundation/data/cpstats/, in that code page.

Usage: tools/cpstats/regenerate.py [--work DIR] [--no-fixtures]
Needs: apt-get (with a current package list), dpkg-deb, iconv, cmake, g++.
"""
import argparse
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

MAN_PACKAGES = [
    "manpages-ru", "manpages-de", "manpages-fr", "manpages-es", "manpages-it", "manpages-pl",
    "manpages-cs", "manpages-hu", "manpages-ro", "manpages-sr", "manpages-el", "manpages-tr",
    "manpages-ja", "manpages-zh",
]
MO_PACKAGES = [
    "coreutils", "libc-l10n", "bash", "tar", "findutils", "grep", "sed", "diffutils", "dpkg",
    "apt", "libapt-pkg6.0", "wget", "gnupg-l10n", "libglib2.0-data", "libgtk2.0-common",
    "gsettings-desktop-schemas", "shared-mime-info", "gettext", "gettext-base", "git",
    "libpam-runtime", "python-apt-common", "xdg-user-dirs", "at-spi2-common",
    "libavahi-common-data", "packagekit", "software-properties-common", "make",
    "binutils-common",
]
# Collections of quotations and sayings: prose with typographic punctuation.
FORTUNE_PACKAGES = [
    "fortunes-de", "fortunes-es", "fortunes-it", "fortunes-pl", "fortunes-ru", "fortunes-cs",
    "fortunes-bg",
]

# Language code of the statistics -> (manual page folders, locale folders,
# fortune folders).
FORTUNES = {"ru": "ru", "bg": "bg", "cs": "cs", "cz": "cs", "pl": "pl", "de": "de", "es": "es",
            "it": "it"}
LANGUAGES = {
    "ru": (["ru"], ["ru"]),
    "bg": ([], ["bg"]),
    "cs": (["cs"], ["cs"]),
    "cz": (["cs"], ["cs"]),
    "pl": (["pl"], ["pl"]),
    "fr": (["fr"], ["fr"]),
    "de": (["de"], ["de"]),
    "es": (["es"], ["es"]),
    "it": (["it"], ["it"]),
    "ee": ([], ["et"]),
    "gr": (["el"], ["el"]),
    "lit": ([], ["lt"]),
    "lat": ([], ["lv"]),
    "sr": (["sr"], ["sr", "sr@latin"]),
    "tr": (["tr"], ["tr"]),
    "ro": (["ro"], ["ro"]),
    "hu": (["hu"], ["hu"]),
    "ja": (["ja"], ["ja"]),
    "ko": ([], ["ko"]),
    # Chinese: simplified for GBK, traditional for Big5.
    "zh-gbk": (["zh_CN"], ["zh_CN"]),
    "zh-big5": (["zh_TW"], ["zh_TW"]),
}

# The detector's entries, in order: (code page, language).
ENTRIES = [
    ("cp1251", "ru"), ("cp1251", "ru"), ("cp1251", "ru"), ("cp866", "ru"), ("koi8r", "ru"),
    ("koi8r", "ru"), ("utf8", "ru"), ("cp1251", "ru"), ("cp866", "ru"), ("koi8r", "ru"),
    ("cp1251", "bg"), ("cp866", "bg"), ("koi8r", "bg"), ("cp1250", "cs"), ("cp1250", "pl"),
    ("cp1250", "pl"), ("cp1252", "fr"), ("cp1252", "fr"), ("cp850", "fr"), ("cp850", "fr"),
    ("cp1252", "de"), ("cp1252", "de"), ("cp850", "de"), ("cp850", "de"), ("cp1252", "es"),
    ("cp1252", "es"), ("cp850", "es"), ("cp850", "es"), ("utf8", "ee"), ("cp775", "ee"),
    ("cp1253", "gr"), ("cp737", "gr"), ("cp1257", "lit"), ("cp1257", "lat"), ("cp1250", "sr"),
    ("cp1252", "it"), ("cp1254", "tr"), ("gbk", "zh"), ("gbk", "zh"), ("shift_jis", "ja"),
    ("shift_jis", "ja"), ("eucjp", "ja"), ("eucjp", "ja"), ("big5", "ja"), ("big5", "zh"),
    ("euc_kr", "ko"), ("cp1252", "de"), ("utf8", "de"), ("iso8859-16", "ro"), ("cp1250", "ro"),
    ("utf8", "ro"), ("cp1250", "cz"), ("cp1250", "hu"), ("cp1250", "hu"),
]

ICONV_NAMES = {
    "cp1251": "CP1251", "cp866": "CP866", "koi8r": "KOI8-R", "utf8": "UTF-8", "cp1250": "CP1250",
    "cp1252": "CP1252", "cp850": "CP850", "cp775": "CP775", "cp1253": "CP1253",
    "cp737": "CP737", "cp1257": "CP1257", "cp1254": "CP1254", "gbk": "GBK",
    "shift_jis": "CP932", "eucjp": "EUC-JP", "big5": "BIG5-HKSCS", "euc_kr": "EUC-KR",
    "iso8859-16": "ISO-8859-16",
}

# Training text per entry is capped (UTF-8 bytes of source text).
MAX_TRAIN = 3_000_000
HELD_OUT_MODULUS = 6
FIXTURE_BYTES = 3000


def source_language(cp, lang):
    if lang == "zh":
        return "zh-big5" if cp == "big5" else "zh-gbk"
    return lang


# ---- Text extraction ---------------------------------------------------------

ROFF_TEXT_MACROS = {"B", "I", "BI", "BR", "IB", "IR", "RB", "RI", "SH", "SS", "SM", "SB"}
ROFF_SPECIALS = {"em": "-", "en": "-", "hy": "-", "lq": '"', "rq": '"', "aq": "'", "oq": "'",
                 "cq": "'", "Fo": '"', "Fc": '"', "bu": "*", "co": "(c)"}


def strip_roff(src):
    out = []
    for line in src.splitlines():
        if line.startswith(".\\\"") or line.startswith("'\\\"") or line.startswith("\\\""):
            continue
        if line.startswith(".") or line.startswith("'"):
            parts = line[1:].strip().split(None, 1)
            if not parts or parts[0] not in ROFF_TEXT_MACROS or len(parts) < 2:
                out.append("")
                continue
            line = parts[1].replace('"', "")
        line = re.sub(r'\\".*$', "", line)
        line = re.sub(r"\\f(\[[^\]]*\]|\(..|.)", "", line)
        line = re.sub(r"\\\((..)", lambda m: ROFF_SPECIALS.get(m.group(1), ""), line)
        line = re.sub(r"\\\[([^\]]*)\]", lambda m: ROFF_SPECIALS.get(m.group(1), ""), line)
        line = re.sub(r"\\\*(\(..|\[[^\]]*\]|.)", "", line)
        line = re.sub(r"\\s[-+]?\d+", "", line)
        line = re.sub(r"\\[&|^%c:]", "", line)
        line = line.replace("\\-", "-").replace("\\e", "\\").replace("\\ ", " ")
        line = re.sub(r"\\(.)", r"\1", line)
        out.append(line)
    # Paragraphs: runs of non-empty lines joined by spaces.
    paras, cur = [], []
    for line in out:
        if line.strip():
            cur.append(line.strip())
        elif cur:
            paras.append(" ".join(cur))
            cur = []
    if cur:
        paras.append(" ".join(cur))
    return "\n".join(paras)


def read_mo(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 28:
        return []
    magic = struct.unpack("<I", data[:4])[0]
    end = "<" if magic == 0x950412DE else ">"
    _, count, _, trans = struct.unpack(end + "4I", data[4:20])
    msgs = []
    for i in range(count):
        length, off = struct.unpack(end + "2I", data[trans + 8 * i:trans + 8 * i + 8])
        raw = data[off:off + length]
        if not raw or raw.startswith(b"Project-Id-Version") or b"Content-Type:" in raw[:400]:
            continue
        for form in raw.split(b"\0"):
            text = form.decode("utf-8", "replace")
            if text:
                msgs.append(clean_message(text))
    return [m for m in msgs if m.strip()]


def clean_message(text):
    text = re.sub(r"%(\d+\$)?[-+ #0']*(\d+|\*)?(\.(\d+|\*))?(hh|h|ll|l|L|q|j|z|Z|t)?[a-zA-Z%]",
                  " ", text)
    text = re.sub(r"%\([^)]*\)[a-z]", " ", text)
    text = re.sub(r"\{[^}]*\}", " ", text)
    text = re.sub(r"<[^>]*>", " ", text)
    text = re.sub(r"(https?|ftp)://\S+", " ", text)
    text = re.sub(r"--?[A-Za-z][-A-Za-z0-9=]*", " ", text)
    text = text.replace("_", "").replace("&", "").replace("\\n", " ").replace("\\t", " ")
    return re.sub(r"\s+", " ", text).strip()


def serbian_latin(text):
    table = {"А": "A", "Б": "B", "В": "V", "Г": "G", "Д": "D", "Ђ": "Đ", "Е": "E", "Ж": "Ž",
             "З": "Z", "И": "I", "Ј": "J", "К": "K", "Л": "L", "Љ": "Lj", "М": "M", "Н": "N",
             "Њ": "Nj", "О": "O", "П": "P", "Р": "R", "С": "S", "Т": "T", "Ћ": "Ć", "У": "U",
             "Ф": "F", "Х": "H", "Ц": "C", "Ч": "Č", "Џ": "Dž", "Ш": "Š"}
    for k, v in list(table.items()):
        table[k.lower()] = v.lower()
    return "".join(table.get(c, c) for c in text)


def prepare_text(cp, lang, text):
    """Adapts text to what is written in that code page."""
    if lang == "sr":
        text = serbian_latin(text)
    if lang == "ro":
        comma = {"ș": "ş", "ț": "ţ", "Ș": "Ş", "Ț": "Ţ"}
        if cp == "iso8859-16":
            comma = {v: k for k, v in comma.items()}
        text = "".join(comma.get(c, c) for c in text)
    return text


def documents(work, lang_key):
    """[(name, text)] of one language, in a stable order."""
    man_dirs, locales = LANGUAGES[lang_key]
    docs = []
    root = os.path.join(work, "root")
    for d in man_dirs:
        base = os.path.join(root, "usr", "share", "man", d)
        for dirpath, _, files in sorted(os.walk(base)):
            for f in sorted(files):
                if not f.endswith(".gz"):
                    continue
                path = os.path.join(dirpath, f)
                if os.path.islink(path):
                    continue
                try:
                    src = gzip.open(path).read().decode("utf-8", "replace")
                except OSError:
                    continue
                if src.lstrip().startswith(".so "):
                    continue
                docs.append((f"man/{d}/{f}", strip_roff(src)))
    for loc in locales:
        base = os.path.join(root, "usr", "share", "locale", loc, "LC_MESSAGES")
        if not os.path.isdir(base):
            continue
        for f in sorted(os.listdir(base)):
            if not f.endswith(".mo") or f.startswith("iso_"):
                continue
            msgs = read_mo(os.path.join(base, f))
            for k in range(0, len(msgs), 40):
                docs.append((f"mo/{loc}/{f}#{k}", "\n".join(msgs[k:k + 40])))
    if lang_key in FORTUNES:
        base = os.path.join(root, "usr", "share", "games", "fortunes", FORTUNES[lang_key])
        for f in sorted(os.listdir(base)) if os.path.isdir(base) else []:
            path = os.path.join(base, f)
            if not os.path.isfile(path) or os.path.islink(path) or "." in f or f == "asciiart":
                continue
            with open(path, "rb") as fh:
                cookies = fh.read().decode("utf-8", "replace").split("\n%\n")
            for k in range(0, len(cookies), 40):
                # Lines of a cookie are joined: its line breaks are layout.
                text = "\n".join(" ".join(c.split()) for c in cookies[k:k + 40])
                docs.append((f"fortune/{FORTUNES[lang_key]}/{f}#{k}", text))
    return docs


def is_held_out(name):
    return zlib.crc32(name.encode()) % HELD_OUT_MODULUS == 0


# ---- Steps -------------------------------------------------------------------

def fetch(work):
    debs = os.path.join(work, "debs")
    root = os.path.join(work, "root")
    os.makedirs(debs, exist_ok=True)
    have = {f.split("_")[0] for f in os.listdir(debs) if f.endswith(".deb")}
    missing = [p for p in MAN_PACKAGES + MO_PACKAGES + FORTUNE_PACKAGES if p not in have]
    if missing:
        subprocess.run(["apt-get", "download"] + missing, cwd=debs, check=True)
    if not os.path.isdir(root):
        os.makedirs(root)
        for f in sorted(os.listdir(debs)):
            if f.endswith(".deb"):
                subprocess.run(["dpkg-deb", "-x", os.path.join(debs, f), root], check=True)


def iconv(text, cp):
    target = ICONV_NAMES[cp]
    if target != "UTF-8":
        target += "//TRANSLIT"
    r = subprocess.run(["iconv", "-c", "-f", "UTF-8", "-t", target], input=text.encode("utf-8"),
                       capture_output=True)
    return r.stdout


def build_generator(work):
    build = os.path.join(work, "build")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DVELLUMO_TESTS=OFF",
                    "-DVELLUMO_BENCH=OFF", "-DCMAKE_BUILD_TYPE=Release"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "vellumo_foundation"], check=True)
    exe = os.path.join(work, "cpstats_gen")
    subprocess.run(["g++", "-std=c++20", "-O2", "-I", os.path.join(ROOT, "engine"),
                    os.path.join(ROOT, "tools", "cpstats", "cpstats_gen.cpp"),
                    os.path.join(build, "engine", "foundation", "libvellumo_foundation.a"),
                    "-lz", "-o", exe], check=True)
    return exe


def fixture_text(held, cp, lang):
    """About FIXTURE_BYTES of held-out paragraphs with letters beyond ASCII, in cp."""
    out = b""
    for _, text in held:
        for para in text.split("\n"):
            para = prepare_text(cp, lang, para.strip())
            if len(para) < 40 or not any(ord(c) > 0x7F for c in para):
                continue
            enc = iconv(para + "\n", cp)
            if len(out) + len(enc) > FIXTURE_BYTES * 1.3:
                continue
            out += enc
            if len(out) >= FIXTURE_BYTES:
                return out
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--work", default="/tmp/vellumo-cpstats")
    ap.add_argument("--no-fixtures", action="store_true")
    args = ap.parse_args()
    work = os.path.abspath(args.work)
    fetch(work)

    corpus = {}
    for key in sorted({source_language(cp, lang) for cp, lang in ENTRIES}):
        docs = documents(work, key)
        train = [d for d in docs if not is_held_out(d[0])]
        held = [d for d in docs if is_held_out(d[0])]
        corpus[key] = (train, held)
        print(f"{key}: {len(docs)} documents, {sum(len(t) for _, t in train)} training and "
              f"{sum(len(t) for _, t in held)} held-out characters", file=sys.stderr)

    # Entries that share a (code page, language) are trained on disjoint
    # slices of the training documents.
    train_dir = os.path.join(work, "train")
    shutil.rmtree(train_dir, ignore_errors=True)
    os.makedirs(train_dir)
    manifest = []
    for index, (cp, lang) in enumerate(ENTRIES):
        same = [i for i, e in enumerate(ENTRIES) if e == (cp, lang)]
        slot, slots = same.index(index), len(same)
        train, _ = corpus[source_language(cp, lang)]
        parts, size = [], 0
        for k, (_, text) in enumerate(train):
            if k % slots != slot:
                continue
            parts.append(prepare_text(cp, lang, text))
            size += len(text.encode("utf-8"))
            if size >= MAX_TRAIN:
                break
        path = os.path.join(train_dir, f"{index:02d}.{cp}.{lang}.txt")
        with open(path, "wb") as f:
            f.write(iconv("\n".join(parts), cp))
        manifest.append(f"{cp} {lang} {path}")
    manifest_path = os.path.join(work, "manifest.txt")
    with open(manifest_path, "w") as f:
        f.write("\n".join(manifest) + "\n")

    exe = build_generator(work)
    subprocess.run([exe, manifest_path,
                    os.path.join(ROOT, "engine", "foundation", "cpstats_tables.inc")], check=True)

    if not args.no_fixtures:
        data = os.path.join(ROOT, "tests", "foundation", "data", "cpstats")
        os.makedirs(data, exist_ok=True)
        for cp, lang in sorted(set(ENTRIES)):
            _, held = corpus[source_language(cp, lang)]
            sample = fixture_text(held, cp, lang)
            with open(os.path.join(data, f"{cp}.{lang}.txt"), "wb") as f:
                f.write(sample)
            print(f"fixture {cp}.{lang}: {len(sample)} bytes", file=sys.stderr)


if __name__ == "__main__":
    main()
