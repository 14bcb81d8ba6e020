#!/usr/bin/env python3
"""Public links of a cloud folder, end to end: zandorel-cli lists an s3
remote (rclone's s3 backend against tests/s3server.py on loopback) with
sub-folders and links, and every link it prints must download the file's
exact bytes. The server checks each link's signature and expiry, so only a
link really made by the cloud's signer downloads anything.

One object refuses HeadObject, so making its link fails: it stays in the
list without a link, with the not-public warning and a linkError property,
and the run tells how many links failed.

    rclone_links_test.py ZANDOREL_CLI
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
BUCKET = "bucket"
REFUSED = "sub/refused link.txt"
WARNING = "警告：文件不是公共"

# Key below the bucket -> bytes. Names the cloud, rclone, the link's address
# and the templates could each get wrong; two levels of sub-folders.
FILES = {
    "a b.txt": b"a b\n",
    "中文 名.pdf": "中文内容\n".encode("utf-8"),
    "<b>&amp;.html": b"<b>&amp;</b>\n",
    "%s(HOME).txt": b"not the home folder\n",
    "100% sure;};.dat": b"100%\n",
    'quote".txt': b'"\n',
    "a+b=c&d.txt": b"plus equals ampersand\n",
    "noext": b"no extension\n",
    "archive.tar.gz": bytes(range(256)) * 4,
    "empty": b"",
    ".bashrc": b"# dot file\n",
    "sub/inner file.bin": os.urandom(300000),
    REFUSED: b"HeadObject of this one is refused\n",
    "sub/deeper/深 层.txt": b"second level\n",
    "sub/deeper/x%20y.txt": b"an escape that must stay literal\n",
}
TOP_LEVEL = sorted(k for k in FILES if "/" not in k)


class Failures(list):
    def check(self, ok, message):
        if not ok:
            self.append(message)
        return ok


def start_server(root, log):
    server = subprocess.Popen([sys.executable, os.path.join(HERE, "s3server.py"), root,
                               "--deny-head", BUCKET + "/" + REFUSED],
                              stdout=subprocess.PIPE, stderr=log, text=True)
    port = server.stdout.readline().strip()
    if not port.isdigit():
        server.kill()
        sys.exit("the S3 server gave no port: %r" % port)
    return server, int(port)


def key_of(link):
    """The object key a path-style link points at."""
    path = urllib.parse.urlsplit(link).path
    bucket, _, key = urllib.parse.unquote(path).lstrip("/").partition("/")
    return bucket, key


def main():
    cli = sys.argv[1]
    if shutil.which("rclone") is None:
        sys.exit("rclone is not on the PATH (Debian package rclone)")
    failures = Failures()
    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.join(tmp, "store")
        for key, data in FILES.items():
            path = os.path.join(root, BUCKET, *key.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        log_path = os.path.join(tmp, "s3server.log")
        log = open(log_path, "w")
        server, port = start_server(root, log)
        try:
            config = os.path.join(tmp, "rclone.conf")
            with open(config, "w") as f:
                f.write("[s3]\ntype = s3\nprovider = Other\naccess_key_id = zandorel\n"
                        "secret_access_key = zandorel-secret\nendpoint = http://127.0.0.1:%d\n"
                        "force_path_style = true\n" % port)
            env = dict(os.environ, RCLONE_CONFIG=config, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "xdg"))
            # rclone's S3 client fails on a CA bundle given in the environment.
            env.pop("AWS_CA_BUNDLE", None)

            def run(*args, remote="s3:" + BUCKET):
                argv = [cli, "--remote", remote, *args]
                done = subprocess.run(argv, capture_output=True, env=env, timeout=120)
                return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8", "replace")

            # Every file below the bucket with its link, in rclone's order.
            status, out, err = run("--recursive", "--links", "--format", "%t(urls.download)")
            failures.check(status == 0, "the run with links ended with %d: %s" % (status, err))
            lines = out.splitlines()
            failures.check(len(lines) == len(FILES),
                           "%d lines for %d files: %r" % (len(lines), len(FILES), lines))
            linked = {}
            for link in filter(None, lines):
                failures.check("\\u" not in link and "&amp;" not in link, "the link is escaped: %s" % link)
                bucket, key = key_of(link)
                if not failures.check(bucket == BUCKET and key in FILES, "a link to no file: %s" % link):
                    continue
                failures.check(key not in linked, "two links for %r" % key)
                linked[key] = link
                try:
                    with urllib.request.urlopen(link, timeout=30) as answer:
                        body = answer.read()
                    failures.check(body == FILES[key], "the link of %r downloads other bytes" % key)
                except urllib.error.HTTPError as error:
                    failures.append("the link of %r is refused: %d %s" % (key, error.code, error.read()[:200]))
            failures.check(set(linked) == set(FILES) - {REFUSED},
                           "links made for %r, expected every file but %r" % (sorted(linked), REFUSED))
            failures.check(lines.count("") == 1, "the file without a link gives one empty line: %r" % lines)
            # The run goes on past the failed link and tells how many failed.
            failures.check(re.search(r"\b1\b[^\n]*\blinks?\b[^\n]*\bfailed", err) is not None,
                           "the failed link is not counted on standard error: %r" % err)

            # A link is good only as the cloud signed it: the server really
            # checks, so the downloads above prove the links genuine.
            if "a b.txt" in linked:
                link = linked["a b.txt"]
                forged = re.sub(r"(X-Amz-Signature=)(.)", lambda m: m.group(1) + ("0" if m.group(2) != "0" else "1"),
                                link)
                try:
                    urllib.request.urlopen(forged, timeout=10).read()
                    failures.append("a forged link downloads")
                except urllib.error.HTTPError as error:
                    failures.check(error.code == 403, "a forged link answers %d" % error.code)

            # The files below the folder, with their paths and sizes; no
            # folders among them.
            status, out, err = run("--recursive", "--format", "%v(path)\t%t(size)", "--join", "$1\\n")
            failures.check(status == 0, "the recursive listing ended with %d: %s" % (status, err))
            listed = dict(line.rsplit("\t", 1) for line in out.split("\n") if line)
            failures.check(listed == {k: str(len(v)) for k, v in FILES.items()},
                           "paths and sizes %r" % sorted(listed.items()))

            # Without sub-folders only the top level; with --expire the links
            # last as long as asked.
            status, out, err = run("--links", "--expire", "1h", "--format", "%t(urls.download)")
            failures.check(status == 0, "the top-level run ended with %d: %s" % (status, err))
            keys = sorted(key_of(link)[1] for link in out.splitlines() if link)
            failures.check(keys == TOP_LEVEL, "the top level lists %r" % keys)
            failures.check(all("X-Amz-Expires=3600&" in link or link.endswith("X-Amz-Expires=3600")
                               for link in out.splitlines() if link),
                           "--expire 1h is not in the links: %r" % out.splitlines()[:1])

            # An on-the-fly remote, its settings in the remote text itself,
            # with a quoted endpoint: the sub-folder's links download too.
            fly = (":s3,provider=Other,access_key_id=zandorel,secret_access_key=zandorel-secret,"
                   "endpoint='http://127.0.0.1:%d',force_path_style=true:%s/sub/deeper" % (port, BUCKET))
            status, out, err = run("--links", "--format", "%t(urls.download)", remote=fly)
            failures.check(status == 0, "the on-the-fly remote ended with %d: %s" % (status, err))
            deeper = sorted(k for k in FILES if k.startswith("sub/deeper/"))
            got = sorted(key_of(link)[1] for link in out.splitlines() if link)
            failures.check(got == deeper, "the on-the-fly remote links %r" % got)
            for link in out.splitlines():
                key = key_of(link)[1]
                if key in FILES:
                    with urllib.request.urlopen(link, timeout=30) as answer:
                        failures.check(answer.read() == FILES[key], "the on-the-fly link of %r" % key)

            # Captions: the warning only where the link failed.
            status, out, err = run("--recursive", "--links", "--captions")
            failures.check(status == 0, "the captions run ended with %d: %s" % (status, err))
            rows = out.splitlines()
            warned = [i for i, row in enumerate(rows) if row.endswith("\t" + WARNING)]
            refused_row = lines.index("") if "" in lines else -1
            failures.check(len(rows) == len(FILES) and warned == [refused_row], "warnings on %r" % warned)

            # Properties of the refused file and of one linked file.
            # Numbered by the rows of the first run.
            row_of = {REFUSED: refused_row, "中文 名.pdf": lines.index(linked.get("中文 名.pdf", ""))}
            for key, row in row_of.items():
                if row < 0:
                    continue
                status, out, err = run("--recursive", "--links", "--props", str(row + 1))
                failures.check(status == 0, "--props ended with %d: %s" % (status, err))
                props = {}
                for line in out.split("\r\n"):
                    title, sep, value = line.partition("     ")
                    if sep:
                        props[title] = value
                failures.check(props.get("path") == key, "path of %r is %r" % (key, props.get("path")))
                failures.check(props.get("size") == str(len(FILES[key])), "size of %r" % key)
                if key == REFUSED:
                    failures.check(props.get("name") == "refused link" and props.get("extension") == ".txt",
                                   "name and extension of %r: %r" % (key, props))
                    failures.check(bool(props.get("linkError")), "no linkError on %r: %r" % (key, props))
                    failures.check(not props.get("urls.download"), "a link on %r" % key)
                    failures.check(props.get("sharingLevelValue", "0").isdigit()
                                   and int(props.get("sharingLevelValue", "0")) > 0,
                                   "sharingLevelValue of %r: %r" % (key, props.get("sharingLevelValue")))
                else:
                    failures.check(props.get("name") == "中文 名" and props.get("extension") == ".pdf",
                                   "name and extension of %r: %r" % (key, props))
                    failures.check(props.get("sharingLevelValue") == "0", "sharingLevelValue of %r" % key)
                    failures.check("linkError" not in props, "a linkError on %r" % key)
                    link = props.get("urls.download", "")
                    failures.check(key_of(link) == (BUCKET, key), "urls.download of %r is %r" % (key, link))
        finally:
            server.terminate()
            server.wait(timeout=10)
            log.close()
        if failures:
            with open(log_path) as f:
                sys.stderr.write("S3 server log (last lines):\n" + "".join(f.readlines()[-30:]))
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print("%d files: every link downloads its file, the refused one is listed with its error" % len(FILES))
    return 0


if __name__ == "__main__":
    sys.exit(main())
