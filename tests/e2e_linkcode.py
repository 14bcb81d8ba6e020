#!/usr/bin/env python3
"""Link code safe to paste: hostile file names listed by zandorel-cli through the stand-in
give anchors whose text and address read back, through an HTML parser, as each name and a
working download, and %u(...) text that decodes back to each name.

    e2e_linkcode.py ZANDOREL_SHARE ZANDOREL_CLI
"""
import html.parser
import os
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request

NAMES = [
    '<b>bold &lt; "quoted" \'single\' a&amp;b>.txt',
    "中文 名字 空格 emoji 😀.md",
    "%s(HOME)%t(name)%v(name) 100% sure;};.txt",
    "back\\slash [brackets]{braces}.txt",
    "tab\tand\nline.txt",
]

FORMAT = '<a href="%h(urls.download)">%h(name)%h(extension)</a>|%u(name)%u(extension)|%v(name)%v(extension)'


class Anchor(html.parser.HTMLParser):
    """The address and text of the one anchor fed."""

    href, text = None, ""

    def handle_starttag(self, tag, attrs):
        self.href = dict(attrs).get("href")

    def handle_data(self, data):
        self.text += data


def main():
    share, cli = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        folder = os.path.join(tmp, "shared")
        os.mkdir(folder)
        contents = {}
        for i, name in enumerate(NAMES):
            data = ("file %d: %s\n" % (i, name)).encode("utf-8")
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            contents[name] = data
        server = subprocess.Popen([share, "--port", "0", folder], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True)
        try:
            address = server.stdout.readline().strip()
            if not address.startswith("http://"):
                sys.exit("the stand-in gave no address: %r" % address)
            run = subprocess.run([cli, "--url", address, "--format", FORMAT, "--join", "$1\\n"], capture_output=True,
                                 timeout=60)
            if run.returncode != 0:
                sys.exit("zandorel-cli failed (%d): %s" % (run.returncode, run.stderr.decode()))
            # %v text may hold line feeds; every file's piece starts with the anchor.
            seen = set()
            for piece in run.stdout.decode("utf-8").split("<a href=")[1:]:
                anchor_html, encoded, rest = ("<a href=" + piece).split("|", 2)
                parser = Anchor()
                parser.feed(anchor_html)
                parser.close()
                name = parser.text
                seen.add(name)
                if name not in contents:
                    failures.append("anchor text %r is no file name" % name)
                    continue
                if urllib.parse.unquote(encoded, errors="strict") != name:
                    failures.append("%%u text %r does not decode to %r" % (encoded, name))
                if rest[: len(name)] != name:
                    failures.append("%%v text %r is not %r" % (rest[: len(name)], name))
                with urllib.request.urlopen(parser.href, timeout=10) as answer:
                    if answer.read() != contents[name]:
                        failures.append("the link of %r does not download it" % name)
            if seen != set(NAMES):
                failures.append("not listed: %r" % sorted(set(NAMES) - seen))
        finally:
            server.terminate()
            server.wait(timeout=10)
    for failure in failures:
        print("FAIL:", failure)
    print("FAILED" if failures else "%d hostile names: anchors, addresses and encoded names read back" % len(NAMES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
