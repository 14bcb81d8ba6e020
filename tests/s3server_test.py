#!/usr/bin/env python3
"""The tests' S3 server against rclone's own s3 client: listings in every
form rclone asks for (both list versions, URL-encoded or not, pages of two
keys, with and without a delimiter), objects whole and in byte ranges, and
presigned links that download only as signed: a forged, moved or expired
link, an unsigned request and a wrong secret are all refused.

    s3server_test.py
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))

FILES = {
    "a b.txt": b"a b\n",
    "中文 名.pdf": "中文\n".encode("utf-8"),
    "<b>&amp;.html": b"<b>\n",
    "100% sure;};.dat": b"100%\n",
    'quote".txt': b'"\n',
    "a+b=c&d.txt": b"+=&\n",
    "tilde~ 'apostrophe'.txt": b"~'\n",
    "empty": b"",
    "d/big.bin": os.urandom(200000),
    "d/e/深.txt": b"deep\n",
    "d/e/x%20y.txt": b"literal escape\n",
    "denied.txt": b"no head\n",
}


def main():
    if shutil.which("rclone") is None:
        sys.exit("rclone is not on the PATH (Debian package rclone)")
    failures = []

    def check(ok, message):
        if not ok:
            failures.append(message)

    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.join(tmp, "store")
        for key, data in FILES.items():
            path = os.path.join(root, "bucket", *key.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        os.makedirs(os.path.join(root, "second"))
        log = open(os.path.join(tmp, "log"), "w")
        server = subprocess.Popen([sys.executable, os.path.join(HERE, "s3server.py"), root, "--deny-head",
                                   "bucket/denied.txt"], stdout=subprocess.PIPE, stderr=log, text=True)
        try:
            port = int(server.stdout.readline())
            config = os.path.join(tmp, "rclone.conf")
            with open(config, "w") as f:
                f.write("[s3]\ntype = s3\nprovider = Other\naccess_key_id = zandorel\n"
                        "secret_access_key = zandorel-secret\nendpoint = http://127.0.0.1:%d\n"
                        "force_path_style = true\n" % port)
            env = dict(os.environ, RCLONE_CONFIG=config, HOME=tmp)
            env.pop("AWS_CA_BUNDLE", None)

            def rclone(*args, ok=True):
                done = subprocess.run(["rclone", *args], capture_output=True, env=env, timeout=60)
                if ok and done.returncode != 0:
                    failures.append("rclone %s: %s" % (" ".join(args), done.stderr.decode()[-300:]))
                return done

            buckets = json.loads(rclone("lsjson", "s3:").stdout or "[]")
            check(sorted(b["Name"] for b in buckets) == ["bucket", "second"], "buckets %r" % buckets)

            expected = {k: len(v) for k, v in FILES.items()}
            top = sorted([k for k in FILES if "/" not in k] + ["d/"])
            for version in ("1", "2"):
                for encode in ("true", "false"):
                    form = ["--s3-list-version", version, "--s3-list-url-encode=" + encode, "--s3-list-chunk", "2"]
                    listed = json.loads(rclone("lsjson", "-R", "--files-only", *form, "s3:bucket").stdout or "[]")
                    got = {e["Path"]: e["Size"] for e in listed}
                    check(got == expected, "v%s encode=%s: recursive listing %r" % (version, encode, got))
                    got = rclone("lsf", *form, "s3:bucket").stdout.decode("utf-8").splitlines()
                    check(sorted(got) == top, "v%s encode=%s: top level %r" % (version, encode, got))
            hashes = rclone("lsf", "-R", "--files-only", "--hash", "MD5", "--format", "hp", "s3:bucket")
            check(b"d41d8cd98f00b204e9800998ecf8427e;empty" in hashes.stdout.splitlines(), "the empty file's ETag")

            big = FILES["d/big.bin"]
            check(rclone("cat", "s3:bucket/d/big.bin").stdout == big, "cat of the whole object")
            check(rclone("cat", "--offset", "1000", "--count", "77", "s3:bucket/d/big.bin").stdout == big[1000:1077],
                  "cat of a byte range")
            check(rclone("cat", "--tail", "10", "s3:bucket/d/big.bin").stdout == big[-10:], "cat of the last bytes")

            links = {}
            for key in FILES:
                if key == "denied.txt":
                    continue
                link = rclone("link", "s3:bucket/" + key).stdout.decode().strip()
                links[key] = link
                try:
                    with urllib.request.urlopen(link, timeout=10) as answer:
                        check(answer.read() == FILES[key], "the link of %r downloads other bytes" % key)
                except (urllib.error.URLError, ValueError) as error:
                    failures.append("the link of %r fails: %r" % (key, error))

            def refused(url, why):
                try:
                    urllib.request.urlopen(url, timeout=10).read()
                    failures.append("%s downloads" % why)
                except urllib.error.HTTPError as error:
                    check(error.code == 403, "%s answers %d" % (why, error.code))

            link = links["a b.txt"]
            refused(re.sub(r"Signature=(.)", lambda m: "Signature=" + "01"[m.group(1) == "0"], link), "a forged link")
            refused(link.replace("/bucket/a%20b.txt", "/bucket/empty"), "a link moved to another key")
            refused(link.replace("X-Amz-Expires=604800", "X-Amz-Expires=604000"), "a shortened link")
            refused(link.split("?")[0], "an unsigned request")
            short = rclone("link", "--expire", "1s", "s3:bucket/a b.txt").stdout.decode().strip()
            time.sleep(2.1)
            refused(short, "an expired link")

            wrong = rclone("lsf", "--s3-secret-access-key", "wrong", "s3:bucket", ok=False)
            check(wrong.returncode != 0 and b"SignatureDoesNotMatch" in wrong.stderr, "a wrong secret is accepted")
            denied = rclone("link", "s3:bucket/denied.txt", ok=False)
            check(denied.returncode != 0, "the object refusing HeadObject gets a link")
        finally:
            server.terminate()
            server.wait(timeout=10)
            log.close()
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print("S3 server: listings, ranges and signed links as rclone expects; bad signatures refused")
    return 0


if __name__ == "__main__":
    sys.exit(main())
