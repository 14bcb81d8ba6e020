#!/usr/bin/env python3
"""The tests' S3 server refuses what its signer did not make: a forged,
moved, shortened or expired link, an unsigned request and a wrong secret.
(Listings and downloads of genuine links are proven by rclone_links_test.)

    s3server_test.py
"""
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


def main():
    if shutil.which("rclone") is None:
        sys.exit("rclone is not on the PATH (Debian package rclone)")
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        for key in ("a b.txt", "other"):
            os.makedirs(os.path.join(tmp, "store", "bucket"), exist_ok=True)
            with open(os.path.join(tmp, "store", "bucket", key), "wb") as f:
                f.write(key.encode())
        server = subprocess.Popen([sys.executable, os.path.join(HERE, "s3server.py"), os.path.join(tmp, "store"),
                                   "--quiet"], stdout=subprocess.PIPE, text=True)
        try:
            config = os.path.join(tmp, "rclone.conf")
            with open(config, "w") as f:
                f.write("[s3]\ntype = s3\nprovider = Other\naccess_key_id = zandorel\n"
                        "secret_access_key = zandorel-secret\nendpoint = http://127.0.0.1:%d\n"
                        "force_path_style = true\n" % int(server.stdout.readline()))
            env = dict(os.environ, RCLONE_CONFIG=config, HOME=tmp)
            env.pop("AWS_CA_BUNDLE", None)

            def rclone(*args):
                return subprocess.run(["rclone", *args], capture_output=True, env=env, timeout=60)

            def download(url, why, ok=False):
                try:
                    body = urllib.request.urlopen(url, timeout=10).read()
                    if not ok:
                        failures.append("%s downloads" % why)
                    elif body != b"a b.txt":
                        failures.append("%s downloads %r" % (why, body))
                except urllib.error.HTTPError as error:
                    if ok or error.code != 403:
                        failures.append("%s answers %d" % (why, error.code))

            link = rclone("link", "s3:bucket/a b.txt").stdout.decode().strip()
            download(link, "the genuine link", ok=True)
            download(re.sub(r"Signature=(.)", lambda m: "Signature=" + "01"[m.group(1) == "0"], link),
                     "a forged link")
            download(link.replace("/bucket/a%20b.txt", "/bucket/other"), "a link moved to another key")
            download(link.replace("X-Amz-Expires=604800", "X-Amz-Expires=604000"), "a shortened link")
            download(link.split("?")[0], "an unsigned request")
            short = rclone("link", "--expire", "1s", "s3:bucket/a b.txt").stdout.decode().strip()
            time.sleep(2.1)
            download(short, "an expired link")
            wrong = rclone("lsf", "--s3-secret-access-key", "wrong", "s3:bucket")
            if wrong.returncode == 0 or b"SignatureDoesNotMatch" not in wrong.stderr:
                failures.append("a wrong secret is accepted")
        finally:
            server.terminate()
            server.wait(timeout=10)
    for failure in failures:
        print("FAIL:", failure)
    print("FAILED" if failures else "S3 server: only what its signer made downloads")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
