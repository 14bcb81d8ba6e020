#!/usr/bin/env python3
"""A small read-only S3-protocol server for the tests and benchmarks.

    s3server.py ROOT [--host 127.0.0.1] [--port 0] [--access-key KEY]
                [--secret-key SECRET] [--region us-east-1]
                [--deny-head BUCKET/KEY ...] [--quiet]

Serves ROOT as an object store: every folder directly under ROOT is a bucket
and every regular file below it an object whose key is its path below the
bucket folder, with "/". Addressing is path-style only
(http://HOST:PORT/BUCKET/KEY).

Requests: ListBuckets, HeadBucket, GetBucketLocation, ListObjects (V1 and
V2: prefix, delimiter, marker / start-after / continuation-token, max-keys,
encoding-type=url), HeadObject and GetObject (with one byte range). Writes
are refused with 501.

Every request must be signed with AWS Signature Version 4 for the one
access key, either in the Authorization header or as a presigned address
(X-Amz-Algorithm ... X-Amz-Signature in the query). The signature is
computed here and compared; a presigned address past X-Amz-Date +
X-Amz-Expires, or a header-signed request more than 15 minutes off the
clock, is refused. A refused request answers 403 with an S3 error document.

--deny-head makes HeadObject of that one object answer 403 (AccessDenied),
so a client that checks an object before linking it fails for that object
only; listing and GetObject are unaffected.

The first line on standard output is the port taken (--port 0 takes a free
one); requests are logged on standard error; SIGTERM and SIGINT stop it.
"""
import argparse
import base64
import calendar
import datetime
import email.utils
import hashlib
import hmac
import mimetypes
import os
import signal
import sys
import threading
import time
import urllib.parse
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

XMLNS = "http://s3.amazonaws.com/doc/2006-03-01/"
EMPTY_SHA256 = hashlib.sha256(b"").hexdigest()
MAX_KEYS = 1000
MAX_PRESIGN_SECONDS = 7 * 24 * 3600
CLOCK_SKEW_SECONDS = 15 * 60
MAX_BODY = 1 << 20


class S3Error(Exception):
    def __init__(self, status, code, message):
        super().__init__(message)
        self.status = status
        self.code = code
        self.message = message


def xml_text(text):
    """Text for an XML element; carriage returns survive as references."""
    out = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    # Other control characters have no form in XML 1.0 and go out as they
    # are, as S3 sends them: the client's parser fails and it asks again
    # with encoding-type=url.
    return out.replace('"', "&quot;").replace("\r", "&#13;")


def uri_encode(text, keep_slash=False):
    """SigV4 encoding: every byte but A-Z a-z 0-9 - _ . ~ as %XX."""
    return urllib.parse.quote(text, safe="-_.~" + ("/" if keep_slash else ""))


def iso_time(seconds):
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%f")[
        :-3
    ] + "Z"


def parse_amz_date(text):
    try:
        return calendar.timegm(time.strptime(text, "%Y%m%dT%H%M%SZ"))
    except (ValueError, TypeError):
        raise S3Error(403, "AccessDenied", "X-Amz-Date is malformed") from None


def utf8_order(key):
    return key.encode("utf-8", "surrogateescape")


class Store:
    """The buckets under one root folder, with each file's MD5 remembered by
    size and modification time."""

    def __init__(self, root):
        self.root = os.path.realpath(root)
        self.lock = threading.Lock()
        self.md5s = {}

    def buckets(self):
        names = []
        with os.scandir(self.root) as entries:
            for entry in entries:
                if entry.is_dir(follow_symlinks=False) and valid_bucket(entry.name):
                    names.append((entry.name, entry.stat().st_mtime))
        return sorted(names)

    def bucket_dir(self, bucket):
        if not valid_bucket(bucket):
            raise S3Error(404, "NoSuchBucket", "The specified bucket does not exist")
        path = os.path.join(self.root, bucket)
        if not os.path.isdir(path) or os.path.islink(path):
            raise S3Error(404, "NoSuchBucket", "The specified bucket does not exist")
        return path

    def keys(self, bucket, prefix):
        """Every (key, stat) of the bucket starting with prefix, in S3's
        order (UTF-8 bytes)."""
        base = self.bucket_dir(bucket)
        # Only the folders the prefix can reach are walked.
        head = prefix.rsplit("/", 1)[0] if "/" in prefix else ""
        start = os.path.join(base, *head.split("/")) if head else base
        if head and not safe_parts(head.split("/")):
            return []
        found = []
        stack = [(start, head + "/" if head else "")]
        while stack:
            folder, key_prefix = stack.pop()
            try:
                entries = list(os.scandir(folder))
            except OSError:
                continue
            for entry in entries:
                key = key_prefix + entry.name
                if entry.is_dir(follow_symlinks=False):
                    if (key + "/").startswith(prefix) or prefix.startswith(key + "/"):
                        stack.append((entry.path, key + "/"))
                elif entry.is_file(follow_symlinks=False) and key.startswith(prefix):
                    found.append((key, entry.stat(follow_symlinks=False)))
        found.sort(key=lambda item: utf8_order(item[0]))
        return found

    def object_path(self, bucket, key):
        base = self.bucket_dir(bucket)
        parts = key.split("/")
        if not key or not safe_parts(parts):
            raise S3Error(404, "NoSuchKey", "The specified key does not exist.")
        path = os.path.join(base, *parts)
        if os.path.islink(path) or not os.path.isfile(path):
            raise S3Error(404, "NoSuchKey", "The specified key does not exist.")
        # A link to a folder on the way must not lead out of the bucket.
        if not os.path.realpath(path).startswith(os.path.realpath(base) + os.sep):
            raise S3Error(404, "NoSuchKey", "The specified key does not exist.")
        return path

    def etag(self, path, stat):
        stamp = (path, stat.st_size, stat.st_mtime_ns)
        with self.lock:
            known = self.md5s.get(stamp)
        if known is None:
            digest = hashlib.md5()
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    digest.update(block)
            known = digest.hexdigest()
            with self.lock:
                self.md5s[stamp] = known
        return '"%s"' % known


def valid_bucket(name):
    return 0 < len(name) <= 255 and name not in (".", "..") and "/" not in name


def safe_parts(parts):
    return all(part not in ("", ".", "..") and "\0" not in part for part in parts)


class Signer:
    def __init__(self, access_key, secret_key, region):
        self.access_key = access_key
        self.secret_key = secret_key
        self.region = region

    def key(self, date, region):
        k = ("AWS4" + self.secret_key).encode()
        for part in (date, region, "s3", "aws4_request"):
            k = hmac.new(k, part.encode(), hashlib.sha256).digest()
        return k

    def check_scope(self, credential, amz_date):
        parts = credential.split("/")
        if len(parts) != 5 or parts[3] != "s3" or parts[4] != "aws4_request":
            raise S3Error(403, "AuthorizationQueryParametersError", "The credential scope is malformed")
        if parts[0] != self.access_key:
            raise S3Error(403, "InvalidAccessKeyId", "The access key does not exist")
        if parts[1] != amz_date[:8]:
            raise S3Error(403, "SignatureDoesNotMatch", "The credential date is not the request's date")
        if parts[2] != self.region:
            raise S3Error(400, "AuthorizationHeaderMalformed", "The region should be '%s'" % self.region)
        return parts[1], parts[2]

    def signature(self, method, raw_path, query_pairs, headers, signed_headers, payload_hash, amz_date, date,
                  region):
        canonical_query = "&".join(
            "%s=%s" % pair
            for pair in sorted((uri_encode(k), uri_encode(v)) for k, v in query_pairs)
        )
        canonical_headers = ""
        for name in signed_headers:
            values = headers.get_all(name) or []
            if not values and name != "host":
                raise S3Error(403, "AccessDenied", "The signed header %s is missing" % name)
            canonical_headers += "%s:%s\n" % (name, ",".join(" ".join(v.split()) for v in values))
        canonical = "\n".join([method, raw_path, canonical_query, canonical_headers, ";".join(signed_headers),
                               payload_hash])
        scope = "%s/%s/s3/aws4_request" % (date, region)
        to_sign = "\n".join(["AWS4-HMAC-SHA256", amz_date, scope,
                             hashlib.sha256(canonical.encode("utf-8", "surrogateescape")).hexdigest()])
        return hmac.new(self.key(date, region), to_sign.encode(), hashlib.sha256).hexdigest()

    def verify(self, method, raw_path, query_pairs, headers, body_hash):
        """Checks the request's signature; raises S3Error when it fails."""
        query = dict(query_pairs)
        authorization = headers.get("Authorization")
        now = time.time()
        if "X-Amz-Signature" in query or "X-Amz-Algorithm" in query:
            if query.get("X-Amz-Algorithm") != "AWS4-HMAC-SHA256":
                raise S3Error(400, "AuthorizationQueryParametersError", "X-Amz-Algorithm must be AWS4-HMAC-SHA256")
            for needed in ("X-Amz-Credential", "X-Amz-Date", "X-Amz-Expires", "X-Amz-SignedHeaders",
                           "X-Amz-Signature"):
                if needed not in query:
                    raise S3Error(400, "AuthorizationQueryParametersError", "%s is missing" % needed)
            amz_date = query["X-Amz-Date"]
            signed_at = parse_amz_date(amz_date)
            try:
                expires = int(query["X-Amz-Expires"])
            except ValueError:
                raise S3Error(400, "AuthorizationQueryParametersError", "X-Amz-Expires is not a number") from None
            if expires < 1 or expires > MAX_PRESIGN_SECONDS:
                raise S3Error(400, "AuthorizationQueryParametersError",
                              "X-Amz-Expires must be between 1 and %d" % MAX_PRESIGN_SECONDS)
            if signed_at > now + CLOCK_SKEW_SECONDS:
                raise S3Error(403, "AccessDenied", "Request is not valid yet")
            if now > signed_at + expires:
                raise S3Error(403, "AccessDenied", "Request has expired")
            date, region = self.check_scope(query["X-Amz-Credential"], amz_date)
            signed_headers = query["X-Amz-SignedHeaders"].split(";")
            given = query["X-Amz-Signature"]
            pairs = [(k, v) for k, v in query_pairs if k != "X-Amz-Signature"]
            payload_hash = "UNSIGNED-PAYLOAD"
        elif authorization:
            algorithm, _, fields_text = authorization.partition(" ")
            if algorithm != "AWS4-HMAC-SHA256":
                raise S3Error(400, "InvalidRequest", "Only AWS4-HMAC-SHA256 signatures are accepted")
            fields = {}
            for field in fields_text.split(","):
                name, _, value = field.strip().partition("=")
                fields[name] = value
            if not {"Credential", "SignedHeaders", "Signature"} <= fields.keys():
                raise S3Error(400, "AuthorizationHeaderMalformed", "The authorization header is malformed")
            amz_date = headers.get("X-Amz-Date")
            if not amz_date:
                raise S3Error(403, "AccessDenied", "X-Amz-Date is missing")
            signed_at = parse_amz_date(amz_date)
            if abs(now - signed_at) > CLOCK_SKEW_SECONDS:
                raise S3Error(403, "RequestTimeTooSkewed",
                              "The difference between the request time and the current time is too large")
            date, region = self.check_scope(fields["Credential"], amz_date)
            signed_headers = fields["SignedHeaders"].split(";")
            given = fields["Signature"]
            pairs = query_pairs
            payload_hash = headers.get("X-Amz-Content-Sha256") or body_hash
            if payload_hash not in ("UNSIGNED-PAYLOAD", body_hash):
                raise S3Error(400, "XAmzContentSHA256Mismatch", "The payload does not match its hash")
        else:
            raise S3Error(403, "AccessDenied", "Access Denied")
        if "host" not in signed_headers:
            raise S3Error(403, "AccessDenied", "The host header must be signed")
        expected = self.signature(method, raw_path, pairs, headers, signed_headers, payload_hash, amz_date, date,
                                  region)
        if not hmac.compare_digest(expected, given):
            raise S3Error(403, "SignatureDoesNotMatch",
                          "The request signature we calculated does not match the signature you provided.")


def parse_query(raw_query):
    pairs = []
    for piece in raw_query.split("&"):
        if not piece:
            continue
        name, _, value = piece.partition("=")
        pairs.append((urllib.parse.unquote(name, errors="surrogateescape"),
                      urllib.parse.unquote(value, errors="surrogateescape")))
    return pairs


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ZandorelS3"

    # -- plumbing

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        if not self.server.quiet:
            sys.stderr.write("s3server: %s %s\n" % (self.address_string(), format % args))

    def send_body(self, status, body, content_type="application/xml", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("x-amz-request-id", self.request_id)
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def send_error_document(self, error, resource):
        body = ('<?xml version="1.0" encoding="UTF-8"?>\n<Error><Code>%s</Code><Message>%s</Message>'
                "<Resource>%s</Resource><RequestId>%s</RequestId></Error>"
                % (error.code, xml_text(error.message), xml_text(resource), self.request_id)).encode("utf-8")
        self.send_body(error.status, body)

    def handle_any(self):
        self.request_id = uuid.uuid4().hex[:16].upper()
        raw_path, _, raw_query = self.path.partition("?")
        if raw_path.startswith("http://") or raw_path.startswith("https://"):
            raw_path = "/" + raw_path.split("/", 3)[3] if raw_path.count("/") >= 3 else "/"
        try:
            try:
                length = int(self.headers.get("Content-Length") or 0)
            except ValueError:
                raise S3Error(400, "InvalidArgument", "Content-Length is not a number") from None
            if length > MAX_BODY or length < 0:
                # Nothing here takes a body; a large one is not read.
                self.close_connection = True
                raise S3Error(400, "MaxMessageLengthExceeded", "Your request was too big.")
            body = self.rfile.read(length) if length > 0 else b""
            pairs = parse_query(raw_query)
            self.server.signer.verify(self.command, raw_path, pairs, self.headers,
                                      hashlib.sha256(body).hexdigest() if body else EMPTY_SHA256)
            path = urllib.parse.unquote(raw_path, errors="surrogateescape")
            bucket, _, key = path.lstrip("/").partition("/")
            query = dict(pairs)
            if self.command not in ("GET", "HEAD"):
                raise S3Error(501, "NotImplemented", "This server is read-only")
            if not bucket:
                self.list_buckets()
            elif not key:
                if self.command == "HEAD":
                    self.server.store.bucket_dir(bucket)
                    self.send_body(200, b"")
                elif "location" in query:
                    self.server.store.bucket_dir(bucket)
                    self.send_body(200, ('<?xml version="1.0" encoding="UTF-8"?>\n<LocationConstraint xmlns="%s">'
                                         "%s</LocationConstraint>" % (XMLNS, self.server.signer.region)).encode())
                else:
                    self.list_objects(bucket, query)
            else:
                self.get_object(bucket, key)
        except S3Error as error:
            self.send_error_document(error, raw_path)
        except (ConnectionError, BrokenPipeError):
            self.close_connection = True
        except Exception as error:  # a fault here answers 500 and keeps serving
            self.log_message("internal error: %r", error)
            self.send_error_document(S3Error(500, "InternalError", "internal error"), raw_path)

    do_GET = handle_any
    do_HEAD = handle_any
    do_PUT = handle_any
    do_POST = handle_any
    do_DELETE = handle_any

    # -- requests

    def list_buckets(self):
        rows = "".join("<Bucket><Name>%s</Name><CreationDate>%s</CreationDate></Bucket>"
                       % (xml_text(name), iso_time(mtime)) for name, mtime in self.server.store.buckets())
        body = ('<?xml version="1.0" encoding="UTF-8"?>\n<ListAllMyBucketsResult xmlns="%s"><Owner><ID>%s</ID>'
                "<DisplayName>%s</DisplayName></Owner><Buckets>%s</Buckets></ListAllMyBucketsResult>"
                % (XMLNS, self.server.signer.access_key, self.server.signer.access_key, rows))
        self.send_body(200, body.encode("utf-8", "surrogateescape"))

    def list_objects(self, bucket, query):
        v2 = query.get("list-type") == "2"
        prefix = query.get("prefix", "")
        delimiter = query.get("delimiter", "")
        url_encoded = query.get("encoding-type") == "url"
        if "encoding-type" in query and not url_encoded:
            raise S3Error(400, "InvalidArgument", "Invalid Encoding Method specified in Request")
        try:
            max_keys = int(query.get("max-keys", MAX_KEYS))
        except ValueError:
            raise S3Error(400, "InvalidArgument", "max-keys is not a number") from None
        if max_keys < 0:
            raise S3Error(400, "InvalidArgument", "max-keys must not be negative")
        max_keys = min(max_keys, MAX_KEYS)
        if v2:
            token = query.get("continuation-token")
            if token is not None:
                try:
                    after = base64.urlsafe_b64decode(token.encode("ascii")).decode("utf-8", "surrogateescape")
                except (ValueError, UnicodeEncodeError):
                    raise S3Error(400, "InvalidArgument", "The continuation token provided is incorrect") from None
            else:
                after = query.get("start-after", "")
        else:
            after = query.get("marker", "")

        def enc(text):
            return urllib.parse.quote(text, safe="/", errors="surrogateescape") if url_encoded else text

        after_order = utf8_order(after)
        contents, prefixes = [], []
        truncated = False
        last = None
        count = 0
        for key, stat in self.server.store.keys(bucket, prefix):
            entry = key
            if delimiter:
                cut = key.find(delimiter, len(prefix))
                if cut >= 0:
                    entry = key[: cut + len(delimiter)]
            if utf8_order(entry) <= after_order or (prefixes and prefixes[-1] == entry):
                continue
            if count == max_keys:
                truncated = True
                break
            count += 1
            last = entry
            if entry != key:
                prefixes.append(entry)
            else:
                path = self.server.store.object_path(bucket, key)
                contents.append("<Contents><Key>%s</Key><LastModified>%s</LastModified><ETag>%s</ETag>"
                                "<Size>%d</Size><Owner><ID>%s</ID><DisplayName>%s</DisplayName></Owner>"
                                "<StorageClass>STANDARD</StorageClass></Contents>"
                                % (xml_text(enc(key)), iso_time(stat.st_mtime), xml_text(
                                    self.server.store.etag(path, stat)), stat.st_size,
                                   self.server.signer.access_key, self.server.signer.access_key))
        parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<ListBucketResult xmlns="%s">' % XMLNS,
                 "<Name>%s</Name><Prefix>%s</Prefix>" % (xml_text(bucket), xml_text(enc(prefix)))]
        if v2:
            if "continuation-token" in query:
                parts.append("<ContinuationToken>%s</ContinuationToken>" % xml_text(query["continuation-token"]))
            if "start-after" in query:
                parts.append("<StartAfter>%s</StartAfter>" % xml_text(enc(query["start-after"])))
            parts.append("<KeyCount>%d</KeyCount>" % count)
            if truncated:
                token = base64.urlsafe_b64encode(last.encode("utf-8", "surrogateescape")).decode("ascii")
                parts.append("<NextContinuationToken>%s</NextContinuationToken>" % token)
        else:
            parts.append("<Marker>%s</Marker>" % xml_text(enc(after)))
            # Given on every truncated page, not only with a delimiter as AWS
            # does: rclone 1.60 otherwise takes the page's last key as the
            # marker and URL-decodes it in place, renaming that object.
            if truncated:
                parts.append("<NextMarker>%s</NextMarker>" % xml_text(enc(last)))
        parts.append("<MaxKeys>%d</MaxKeys>" % max_keys)
        if delimiter:
            parts.append("<Delimiter>%s</Delimiter>" % xml_text(enc(delimiter)))
        if url_encoded:
            parts.append("<EncodingType>url</EncodingType>")
        parts.append("<IsTruncated>%s</IsTruncated>" % ("true" if truncated else "false"))
        parts.extend(contents)
        parts.extend("<CommonPrefixes><Prefix>%s</Prefix></CommonPrefixes>" % xml_text(enc(p)) for p in prefixes)
        parts.append("</ListBucketResult>")
        self.send_body(200, "".join(parts).encode("utf-8", "surrogateescape"))

    def get_object(self, bucket, key):
        store = self.server.store
        path = store.object_path(bucket, key)
        if self.command == "HEAD" and "%s/%s" % (bucket, key) in self.server.deny_head:
            raise S3Error(403, "AccessDenied", "Access Denied")
        with open(path, "rb") as f:
            stat = os.fstat(f.fileno())
            size = stat.st_size
            start, end = 0, size - 1
            status = 200
            extra = [("ETag", store.etag(path, stat)), ("Last-Modified", email.utils.formatdate(stat.st_mtime,
                                                                                                 usegmt=True)),
                     ("Accept-Ranges", "bytes")]
            wanted = self.headers.get("Range")
            if wanted:
                byte_range = parse_range(wanted, size)
                if byte_range == "unsatisfiable":
                    raise S3Error(416, "InvalidRange", "The requested range is not satisfiable")
                if byte_range is not None:
                    start, end = byte_range
                    status = 206
                    extra.append(("Content-Range", "bytes %d-%d/%d" % (start, end, size)))
            length = max(0, end - start + 1)
            content_type = mimetypes.guess_type(key)[0] or "application/octet-stream"
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(length))
            self.send_header("x-amz-request-id", self.request_id)
            for name, value in extra:
                self.send_header(name, value)
            self.end_headers()
            if self.command == "HEAD":
                return
            f.seek(start)
            left = length
            while left > 0:
                block = f.read(min(left, 1 << 20))
                if not block:
                    break
                self.wfile.write(block)
                left -= len(block)


def parse_range(text, size):
    """(first, last) of a single "bytes=" range, None to send the whole file
    (a form not understood is ignored, as HTTP allows), or "unsatisfiable"."""
    unit, _, wanted = text.strip().partition("=")
    if unit.strip().lower() != "bytes" or "," in wanted:
        return None
    first, dash, last = wanted.strip().partition("-")
    if not dash:
        return None
    try:
        if first == "":
            count = int(last)
            if count <= 0:
                return "unsatisfiable"
            return (max(0, size - count), size - 1) if size else "unsatisfiable"
        start = int(first)
        end = int(last) if last else size - 1
    except ValueError:
        return None
    if start < 0 or end < start:
        return None
    if start >= size:
        return "unsatisfiable"
    return start, min(end, size - 1)


def main():
    parser = argparse.ArgumentParser(description="Read-only S3-protocol server over a folder of buckets.")
    parser.add_argument("root")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--access-key", default="zandorel")
    parser.add_argument("--secret-key", default="zandorel-secret")
    parser.add_argument("--region", default="us-east-1")
    parser.add_argument("--deny-head", action="append", default=[], metavar="BUCKET/KEY")
    parser.add_argument("--quiet", action="store_true", help="no request log")
    args = parser.parse_args()
    if not os.path.isdir(args.root):
        parser.error("%s is not a folder" % args.root)

    server = ThreadingHTTPServer((args.host, args.port), Handler)
    server.daemon_threads = True
    server.store = Store(args.root)
    server.signer = Signer(args.access_key, args.secret_key, args.region)
    server.deny_head = set(args.deny_head)
    server.quiet = args.quiet

    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print(server.server_address[1], flush=True)
    sys.stderr.write("s3server: serving %s on http://%s:%d\n" % (args.root, args.host, server.server_address[1]))
    sys.stderr.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
