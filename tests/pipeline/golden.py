#!/usr/bin/env python3
"""Byte-for-byte record of what zandorel-cli prints for a set of pages.

    golden.py record|check CLI [PAGE...]   writes, or compares with, expected/<page>.golden

Each page is listed with the fixed settings of config.xml as the combined
block, as captions, as the properties of a few files and with several
formats; exit status, both outputs and the dump file left are recorded.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = os.path.join(HERE, "pages")
EXPECTED = os.path.join(HERE, "expected")
CONFIG = os.path.join(HERE, "config.xml")

RICH = ('<a href="%t(urls.download)">%t(name)%t(extension)</a> %t(size) #%t(fileIndex) '
        '%s(AppTitle) %T(NAME) %t(a.b) %t(b.c)')
FORMATS = [
    ("rich", ["--format", RICH, "--join", "[$1]\\n"]),
    ("empty-format", ["--format", "", "--join", "$1"]),
    ("facts", ["--format", "%t(fileIndex)|%T(NAME)|%t(name)|%s(NO_SUCH_GOLDEN_VAR)|%s(GOLDEN_VAR)|%s(appmajor)",
               "--join", "$1\\r\\n"]),
    ("no-placeholders", ["--format", "plain $1 text", "--join", "<$1>\\R"]),
    ("join-without-link", ["--format", "%t(name)", "--join", "-\\n"]),
]


ENV = {k: v for k, v in os.environ.items() if not k.startswith("XDG_") and k != "NO_SUCH_GOLDEN_VAR"}
ENV.update({"HOME": "/golden/home", "GOLDEN_VAR": "golden-value", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})


def run(cli, args):
    dump = os.path.join(os.path.dirname(cli), "zandorel-cli_error.html")
    if os.path.exists(dump):
        os.remove(dump)
    p = subprocess.run([cli, "--config", CONFIG] + args, capture_output=True, env=ENV, timeout=120)
    dumped = None
    if os.path.exists(dump):
        with open(dump, "rb") as f:
            dumped = f.read()
    return p.returncode, p.stdout, p.stderr, dumped


def frame(name, args, result):
    status, out, err, dumped = result
    parts = [b"#run %s %s\n" % (name.encode(), repr(args).encode()), b"#status %d\n" % status,
             b"#stdout %d\n" % len(out), out, b"\n#stderr %d\n" % len(err), err, b"\n"]
    if dumped is None:
        parts.append(b"#dump none\n")
    else:
        parts += [b"#dump %d\n" % len(dumped), dumped, b"\n"]
    return b"".join(parts)


def record_page(cli, page):
    path = os.path.join(PAGES, page)
    captions = run(cli, ["--page", path, "--captions"])
    count = captions[1].count(b"\n") if captions[0] == 0 else 0
    runs = [("block", []), ("captions", ["--captions"])]
    runs += [("props", ["--props", str(n)]) for n in sorted({0, 1, 2, count, count + 1})] + FORMATS
    return b"".join(frame(name, args, run(cli, ["--page", path] + args)) for name, args in runs)


def main():
    mode, cli = sys.argv[1], os.path.abspath(sys.argv[2])
    only = sys.argv[3:]
    with tempfile.TemporaryDirectory() as tmp:
        # A copy of its own, so that the dump file it leaves is this run's.
        copy = os.path.join(tmp, "zandorel-cli")
        shutil.copy(cli, copy)
        failed = []
        os.makedirs(EXPECTED, exist_ok=True)
        for page in sorted(os.listdir(PAGES)):
            if only and page not in only:
                continue
            got = record_page(copy, page)
            target = os.path.join(EXPECTED, page.rsplit(".", 1)[0] + ".golden")
            if mode == "record":
                with open(target, "wb") as f:
                    f.write(got)
                continue
            with open(target, "rb") as f:
                want = f.read()
            if got != want:
                failed.append(page)
                with open(os.path.join(tmp, "got"), "wb") as f:
                    f.write(got)
                diff = subprocess.run(["diff", "-a", target, os.path.join(tmp, "got")], capture_output=True)
                sys.stdout.write("DIFFERS: %s\n%s\n" % (page, diff.stdout.decode("utf-8", "replace")[:4000]))
        if failed:
            print("%d page(s) differ: %s" % (len(failed), " ".join(failed)))
            return 1
        print("all pages give the recorded output" if mode == "check" else "recorded")
        return 0


if __name__ == "__main__":
    sys.exit(main())
