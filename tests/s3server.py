#!/usr/bin/env python3
"""A small read-only S3-protocol server over ROOT for the tests and benchmarks.

    s3server.py ROOT [--deny-head BUCKET/KEY ...] [--quiet]

Each folder directly under ROOT is a bucket, each file below it an object
keyed by its path. Path-style ListObjects (version 1, no URL encoding),
HeadObject and GetObject; anything else answers 501. Every request must carry a good AWS
Signature Version 4 (key "zandorel", secret "zandorel-secret"), in the
Authorization header or presigned and not expired; else 403. --deny-head
makes HeadObject of that one object answer 403. Prints the port taken on
the first line; logs requests on standard error.
"""
import argparse
import calendar
import email.utils
import hashlib
import hmac
import os
import signal
import sys
import threading
import time
import urllib.parse
import xml.sax.saxutils
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ACCESS_KEY, SECRET_KEY, REGION = "zandorel", "zandorel-secret", "us-east-1"
XMLNS = "http://s3.amazonaws.com/doc/2006-03-01/"
EMPTY_SHA256 = hashlib.sha256(b"").hexdigest()
MAX_KEYS = 1000
MAX_PRESIGN_SECONDS = 7 * 24 * 3600
CLOCK_SKEW_SECONDS = 15 * 60


class S3Error(Exception):
    def __init__(self, status, code, message):
        super().__init__(message)
        self.status, self.code, self.message = status, code, message


def denied(message):
    return S3Error(403, "AccessDenied", message)


def xml_text(text):
    return xml.sax.saxutils.escape(text, {'"': "&quot;", "\r": "&#13;"})


def uri_encode(text):
    """SigV4 encoding: every byte but A-Z a-z 0-9 - _ . ~ as %XX."""
    return urllib.parse.quote(text, safe="-_.~", errors="surrogateescape")


def amz_seconds(text):
    try:
        return calendar.timegm(time.strptime(text, "%Y%m%dT%H%M%SZ"))
    except (ValueError, TypeError):
        raise denied("X-Amz-Date is malformed") from None


def signature(method, raw_path, pairs, headers, signed_headers, payload_hash, amz_date):
    query = "&".join("%s=%s" % pair for pair in sorted((uri_encode(k), uri_encode(v)) for k, v in pairs))
    canonical_headers = ""
    for name in signed_headers:
        values = headers.get_all(name) or []
        if not values:
            raise denied("the signed header %s is missing" % name)
        canonical_headers += "%s:%s\n" % (name, ",".join(" ".join(v.split()) for v in values))
    canonical = "\n".join([method, raw_path, query, canonical_headers, ";".join(signed_headers), payload_hash])
    scope = "%s/%s/s3/aws4_request" % (amz_date[:8], REGION)
    to_sign = "\n".join(["AWS4-HMAC-SHA256", amz_date, scope,
                         hashlib.sha256(canonical.encode("utf-8", "surrogateescape")).hexdigest()])
    key = ("AWS4" + SECRET_KEY).encode()
    for part in (amz_date[:8], REGION, "s3", "aws4_request"):
        key = hmac.new(key, part.encode(), hashlib.sha256).digest()
    return hmac.new(key, to_sign.encode(), hashlib.sha256).hexdigest()


def verify(method, raw_path, pairs, headers):
    """Raises S3Error unless the request carries a good signature."""
    query = dict(pairs)
    now = time.time()
    if "X-Amz-Signature" in query or "X-Amz-Algorithm" in query:
        fields = ("X-Amz-Algorithm", "X-Amz-Credential", "X-Amz-Date", "X-Amz-Expires", "X-Amz-SignedHeaders")
        algorithm, credential, amz_date, expires, signed = (query.get(name, "") for name in fields)
        if algorithm != "AWS4-HMAC-SHA256" or not expires.isdigit():
            raise denied("the presigned address is malformed")
        signed_at = amz_seconds(amz_date)
        if not 1 <= int(expires) <= MAX_PRESIGN_SECONDS or signed_at > now + CLOCK_SKEW_SECONDS:
            raise denied("the presigned address is not valid")
        if now > signed_at + int(expires):
            raise denied("Request has expired")
        given = query.get("X-Amz-Signature", "")
        pairs = [(k, v) for k, v in pairs if k != "X-Amz-Signature"]
        payload_hash = "UNSIGNED-PAYLOAD"
    elif headers.get("Authorization", "").startswith("AWS4-HMAC-SHA256 "):
        fields = dict(f.strip().partition("=")[::2] for f in headers["Authorization"][17:].split(","))
        credential, signed, given = (fields.get(name, "") for name in ("Credential", "SignedHeaders", "Signature"))
        amz_date = headers.get("X-Amz-Date", "")
        if abs(now - amz_seconds(amz_date)) > CLOCK_SKEW_SECONDS:
            raise S3Error(403, "RequestTimeTooSkewed", "The request time is too far from the server's")
        payload_hash = headers.get("X-Amz-Content-Sha256") or EMPTY_SHA256
    else:
        raise denied("Access Denied")
    if credential != "%s/%s/%s/s3/aws4_request" % (ACCESS_KEY, amz_date[:8], REGION):
        raise denied("The credential is not this server's")
    signed_headers = signed.split(";")
    if "host" not in signed_headers:
        raise denied("The host header must be signed")
    expected = signature(method, raw_path, pairs, headers, signed_headers, payload_hash, amz_date)
    if not hmac.compare_digest(expected, given):
        raise S3Error(403, "SignatureDoesNotMatch",
                      "The request signature we calculated does not match the signature you provided.")


def safe_parts(parts):
    return all(part not in ("", ".", "..") and "\0" not in part for part in parts)


def etag(path):
    with open(path, "rb") as f:
        return '"%s"' % hashlib.md5(f.read()).hexdigest()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        if not self.server.quiet:
            sys.stderr.write("s3server: %s\n" % (format % args))

    def send(self, status, body, headers=()):
        self.send_response(status)
        for name, value in [("Content-Length", str(len(body)))] + list(headers):
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self):
        raw_path, _, raw_query = self.path.partition("?")
        try:
            pairs = [tuple(urllib.parse.unquote(part, errors="surrogateescape") for part in piece.partition("=")[::2])
                     for piece in raw_query.split("&") if piece]
            verify(self.command, raw_path, pairs, self.headers)
            if self.command not in ("GET", "HEAD"):
                raise S3Error(501, "NotImplemented", "This server is read-only")
            bucket, _, key = urllib.parse.unquote(raw_path, errors="surrogateescape").lstrip("/").partition("/")
            base = os.path.join(self.server.root, bucket)
            if not safe_parts([bucket]) or "/" in bucket or os.path.islink(base) or not os.path.isdir(base):
                raise S3Error(404, "NoSuchBucket", "The specified bucket does not exist")
            if key:
                self.get_object(base, bucket, key)
            elif self.command == "GET":
                self.list_objects(base, bucket, dict(pairs))
            else:
                raise S3Error(501, "NotImplemented", "Not served here")
        except S3Error as error:
            body = ('<?xml version="1.0" encoding="UTF-8"?>\n<Error><Code>%s</Code><Message>%s</Message>'
                    "<Resource>%s</Resource></Error>" % (error.code, xml_text(error.message), xml_text(raw_path)))
            self.send(error.status, body.encode("utf-8", "surrogateescape"), [("Content-Type", "application/xml")])
        except (ConnectionError, BrokenPipeError):
            self.close_connection = True

    do_GET = do_HEAD = do_PUT = do_POST = do_DELETE = handle_any

    def list_objects(self, base, bucket, query):
        prefix, delimiter, after = (query.get(name, "") for name in ("prefix", "delimiter", "marker"))
        max_keys = min(int(query["max-keys"]) if query.get("max-keys", "").isdigit() else MAX_KEYS, MAX_KEYS)

        def order(text):
            return text.encode("utf-8", "surrogateescape")

        keys = []
        for folder, _, files in os.walk(base):
            below = os.path.relpath(folder, base)
            keys += [(name if below == "." else below.replace(os.sep, "/") + "/" + name, os.path.join(folder, name))
                     for name in files if not os.path.islink(os.path.join(folder, name))]
        contents, prefixes = [], []
        truncated = False
        last = None
        for key, path in sorted((k for k in keys if k[0].startswith(prefix)), key=lambda k: order(k[0])):
            cut = key.find(delimiter, len(prefix)) if delimiter else -1
            entry = key[: cut + len(delimiter)] if cut >= 0 else key
            if order(entry) <= order(after) or (prefixes and prefixes[-1] == entry):
                continue
            if len(contents) + len(prefixes) == max_keys:
                truncated = True
                break
            last = entry
            if entry != key:
                prefixes.append(entry)
            else:
                stat = os.stat(path)
                contents.append("<Contents><Key>%s</Key><LastModified>%s</LastModified><ETag>%s</ETag>"
                                "<Size>%d</Size><StorageClass>STANDARD</StorageClass></Contents>"
                                % (xml_text(key), time.strftime("%Y-%m-%dT%H:%M:%S.000Z", time.gmtime(stat.st_mtime)),
                                   xml_text(etag(path)), stat.st_size))
        # NextMarker on every truncated page: rclone 1.60 otherwise takes the
        # page's last key as the marker and URL-decodes it in place.
        body = ('<?xml version="1.0" encoding="UTF-8"?>\n<ListBucketResult xmlns="%s"><Name>%s</Name>'
                "<Prefix>%s</Prefix><Marker>%s</Marker>%s<MaxKeys>%d</MaxKeys>%s<IsTruncated>%s</IsTruncated>"
                % (XMLNS, xml_text(bucket), xml_text(prefix), xml_text(after),
                   "<NextMarker>%s</NextMarker>" % xml_text(last) if truncated else "", max_keys,
                   "<Delimiter>%s</Delimiter>" % xml_text(delimiter) if delimiter else "",
                   "true" if truncated else "false")
                + "".join(contents)
                + "".join("<CommonPrefixes><Prefix>%s</Prefix></CommonPrefixes>" % xml_text(p) for p in prefixes)
                + "</ListBucketResult>")
        self.send(200, body.encode("utf-8", "surrogateescape"), [("Content-Type", "application/xml")])

    def get_object(self, base, bucket, key):
        path = os.path.join(base, *key.split("/"))
        if (not safe_parts(key.split("/")) or os.path.islink(path) or not os.path.isfile(path)
                or not os.path.realpath(path).startswith(os.path.realpath(base) + os.sep)):
            raise S3Error(404, "NoSuchKey", "The specified key does not exist.")
        if self.command == "HEAD" and "%s/%s" % (bucket, key) in self.server.deny_head:
            raise denied("Access Denied")
        with open(path, "rb") as f:
            data = f.read()
        self.send(200, data, [("Content-Type", "application/octet-stream"), ("ETag", etag(path)),
                              ("Last-Modified", email.utils.formatdate(os.path.getmtime(path), usegmt=True))])


def main():
    parser = argparse.ArgumentParser(description="Read-only S3-protocol server over a folder of buckets.")
    parser.add_argument("root")
    parser.add_argument("--deny-head", action="append", default=[], metavar="BUCKET/KEY")
    parser.add_argument("--quiet", action="store_true", help="no request log")
    args = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.root = os.path.realpath(args.root)
    server.deny_head = set(args.deny_head)
    server.quiet = args.quiet
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown, daemon=True).start())
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
