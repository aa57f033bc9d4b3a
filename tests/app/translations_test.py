#!/usr/bin/env python3
"""Every text of the program has a translation in every language.

    translations_test.py LUPDATE SOURCE_DIR TS_FILE... -- LUPDATE_OPTION... -- FOLDER...

lupdate reads the program's folders into a copy of each .ts file, as the update_translations
target does: a text added to the sources comes out unfinished, a translation whose text is gone
comes out vanished, and an entry left unfinished in the file stays so. Every string literal with
Cyrillic in it must also be (part of) a text marked for translation: Russian that reaches the
user without tr() would stay Russian in every language.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

CYRILLIC = re.compile("[\u0400-\u04ff]")
# A C++ string literal (no raw strings in the program), and the comments to skip.
TOKENS = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|\'(?:[^\'\\\n]|\\.)*\'', re.S)
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "'": "'"}


def literal_text(token):
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), token[1:-1])


def cyrillic_literals(folders):
    for folder in folders:
        for root, _, files in os.walk(folder):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(root, name)
                with open(path, encoding="utf-8") as f:
                    source = f.read()
                for match in TOKENS.finditer(source):
                    token = match.group(0)
                    if token.startswith('"') and CYRILLIC.search(token):
                        line = source.count("\n", 0, match.start()) + 1
                        yield path, line, literal_text(token)


def main():
    args = sys.argv[1:]
    first = args.index("--")
    second = args.index("--", first + 1)
    lupdate, source_dir, ts_files = args[0], args[1], args[2:first]
    options, folders = args[first + 1:second], args[second + 1:]
    os.chdir(source_dir)
    failures = []
    sources = set()
    with tempfile.TemporaryDirectory() as work:
        for ts in ts_files:
            copy = os.path.join(work, os.path.basename(ts))
            shutil.copyfile(ts, copy)
            run = subprocess.run([lupdate, "-silent", *options, *folders, "-ts", copy],
                                 capture_output=True, text=True)
            if run.returncode != 0:
                failures.append(f"lupdate failed on {ts}: {run.stderr.strip()}")
                continue
            for context in ET.parse(copy).getroot().iter("context"):
                name = context.findtext("name")
                for message in context.iter("message"):
                    source = message.findtext("source")
                    sources.add(source)
                    translation = message.find("translation")
                    kind = translation.get("type")
                    if kind in ("unfinished", "vanished", "obsolete") or not (translation.text or "").strip():
                        state = {"vanished": "no longer in the sources", "obsolete": "no longer in the sources"}.get(
                            kind, "not translated")
                        failures.append(f"{os.path.basename(ts)}: {name}: {source!r} {state}")
    for path, line, text in cyrillic_literals(folders):
        if not any(text in source for source in sources):
            failures.append(f"{path}:{line}: {text!r} is not marked for translation")
    if failures:
        print("\n".join(failures))
        print(f"{len(failures)} problem(s): mark the texts with tr(), run "
              "`cmake --build build --target update_translations` and translate what it adds")
        return 1
    print(f"{len(sources)} texts, all translated in {len(ts_files)} language(s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
