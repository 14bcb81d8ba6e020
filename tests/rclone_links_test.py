#!/usr/bin/env python3
"""Public links of a cloud folder, end to end: zandorel-cli lists an s3
remote (rclone's s3 backend against tests/s3server.py, which checks every
link's signature and expiry) and every link it prints must download the
file's exact bytes. One object refuses HeadObject, so its link fails: it
stays listed without a link, with the warning and a linkError, and the run
counts the failure. The server refuses links its signer did not make.

    rclone_links_test.py ZANDOREL_CLI
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
REFUSED = "sub/refused link.txt"
WARNING = "警告：文件不是公共"

# Key below the bucket -> bytes: names the cloud, rclone and the link's
# address could each get wrong, on two levels of sub-folders.
FILES = {
    "a b.txt": b"a b\n",
    "中文 名.pdf": "中文内容\n".encode("utf-8"),
    "<b>&amp;.html": b"<b>&amp;</b>\n",
    "100% sure;};.dat": b"100%\n",
    "a+b=c&d.txt": b"plus equals ampersand\n",
    "empty": b"",
    "sub/inner file.bin": os.urandom(300000),
    REFUSED: b"HeadObject of this one is refused\n",
    "sub/deeper/深 层.txt": b"second level\n",
    "sub/deeper/x%20y.txt": b"an escape that must stay literal\n",
}


def key_of(link):
    """The object key a path-style link to the bucket points at."""
    bucket, _, key = urllib.parse.unquote(urllib.parse.urlsplit(link).path).lstrip("/").partition("/")
    return key if bucket == "bucket" else None


def main():
    cli = sys.argv[1]
    if shutil.which("rclone") is None:
        sys.exit("rclone is not on the PATH (Debian package rclone)")
    failures = []

    def check(ok, message):
        if not ok:
            failures.append(message)

    with tempfile.TemporaryDirectory() as tmp:
        for key, data in FILES.items():
            path = os.path.join(tmp, "store", "bucket", *key.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        server = subprocess.Popen([sys.executable, os.path.join(HERE, "s3server.py"), os.path.join(tmp, "store"),
                                   "--deny-head", "bucket/" + REFUSED], stdout=subprocess.PIPE, text=True)
        try:
            port = int(server.stdout.readline())
            config = os.path.join(tmp, "rclone.conf")
            with open(config, "w") as f:
                f.write("[s3]\ntype = s3\nprovider = Other\naccess_key_id = zandorel\n"
                        "secret_access_key = zandorel-secret\nendpoint = http://127.0.0.1:%d\n"
                        "force_path_style = true\n" % port)
            env = dict(os.environ, RCLONE_CONFIG=config, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "xdg"))
            env.pop("AWS_CA_BUNDLE", None)  # rclone's S3 client fails on one given in the environment

            def run(*args, remote="s3:bucket"):
                done = subprocess.run([cli, "--remote", remote, *args], capture_output=True, env=env, timeout=120)
                check(done.returncode == 0, "%s ended with %d: %s" % (args, done.returncode, done.stderr[-300:]))
                return done.stdout.decode("utf-8"), done.stderr.decode("utf-8", "replace")

            def downloads(links, what):
                """The keys of the links, each checked to download its file's bytes."""
                keys = []
                for link in filter(None, links):
                    key = key_of(link)
                    check(key in FILES and "\\u" not in link, "%s: a link to no file: %s" % (what, link))
                    try:
                        with urllib.request.urlopen(link, timeout=30) as answer:
                            check(answer.read() == FILES.get(key), "%s: the link of %r downloads other bytes"
                                  % (what, key))
                    except urllib.error.HTTPError as error:
                        failures.append("%s: the link of %r is refused: %d" % (what, key, error.code))
                    keys.append(key)
                return sorted(keys)

            # Every file below the bucket; the refused one gives an empty line,
            # and the run goes on past it and tells how many failed.
            out, err = run("--recursive", "--links", "--format", "%t(urls.download)")
            lines = out.splitlines()
            check(len(lines) == len(FILES) and lines.count("") == 1, "lines %r" % lines)
            check(downloads(lines, "recursive") == sorted(set(FILES) - {REFUSED}), "links made %r" % lines)
            check(re.search(r"\b1 of %d links failed" % len(FILES), err), "the failure is not counted: %r" % err)

            # The top level only; --expire reaches the links.
            out, err = run("--links", "--expire", "1h", "--format", "%t(urls.download)")
            check(downloads(out.splitlines(), "top level") == sorted(k for k in FILES if "/" not in k),
                  "the top level lists %r" % out)
            check(all("X-Amz-Expires=3600" in link for link in out.splitlines()), "--expire 1h is not in %r" % out)

            # An on-the-fly remote with a quoted endpoint, in a sub-folder.
            fly = (":s3,provider=Other,access_key_id=zandorel,secret_access_key=zandorel-secret,"
                   "endpoint='http://127.0.0.1:%d',force_path_style=true:bucket/sub/deeper" % port)
            out, err = run("--links", "--format", "%t(urls.download)", remote=fly)
            check(downloads(out.splitlines(), "on the fly") == sorted(k for k in FILES if k.startswith("sub/deeper/")),
                  "the on-the-fly remote links %r" % out)

            # The warning only where the link failed; the refused file's properties.
            out, err = run("--recursive", "--links", "--captions")
            warned = [i for i, row in enumerate(out.splitlines()) if row.endswith("\t" + WARNING)]
            check(warned == [lines.index("") if "" in lines else -1], "warnings on rows %r" % warned)
            out, err = run("--recursive", "--links", "--props", str(warned[0] + 1 if warned else 1))
            props = dict(line.split("     ", 1) for line in out.split("\r\n") if "     " in line)
            for title, want in (("path", REFUSED), ("name", "refused link"), ("extension", ".txt"),
                                ("size", str(len(FILES[REFUSED]))), ("sharingLevelValue", "2")):
                check(props.get(title) == want, "%s of the refused file: %r" % (title, props))
            check(props.get("linkError") and "urls.download" not in props, "linkError or a link: %r" % props)

            # A forged, moved, shortened, unsigned or expired link, and a wrong secret, are refused.
            def rclone(*args):
                return subprocess.run(["rclone", *args], capture_output=True, env=env, timeout=60)

            link = rclone("link", "s3:bucket/a b.txt").stdout.decode().strip()
            short = rclone("link", "--expire", "1s", "s3:bucket/a b.txt").stdout.decode().strip()
            time.sleep(2.1)
            for why, url in (
                    ("a forged link", re.sub(r"Signature=(.)", lambda m: "Signature=" + "01"[m.group(1) == "0"], link)),
                    ("a link moved to another key", link.replace("/bucket/a%20b.txt", "/bucket/empty")),
                    ("a shortened link", link.replace("X-Amz-Expires=604800", "X-Amz-Expires=604000")),
                    ("an unsigned request", link.split("?")[0]), ("an expired link", short)):
                try:
                    urllib.request.urlopen(url, timeout=10)
                    failures.append("%s downloads" % why)
                except urllib.error.HTTPError as error:
                    check(error.code == 403, "%s answers %d" % (why, error.code))
            wrong = rclone("lsf", "--s3-secret-access-key", "wrong", "s3:bucket")
            check(wrong.returncode != 0 and b"SignatureDoesNotMatch" in wrong.stderr, "a wrong secret is accepted")
        finally:
            server.terminate()
            server.wait(timeout=10)
    for failure in failures:
        print("FAIL:", failure)
    print("FAILED" if failures else "%d files: every link downloads its file, the refused one is listed" % len(FILES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
