#!/usr/bin/env python3
"""Writes a synthetic folder page of N file entries (about thirty-three
properties each, one nested object and one list), UTF-8, for timing the
listing tool:

    python3 bench/make_page.py 100000 /tmp/page-100k.html
    python3 bench/make_page.py --props 60 100000 /tmp/wide-100k.html

--props P pads every entry to P top-level properties with short extra ones,
placed before the nested download addresses so that a reader has to pass
them to reach the links.
"""
import argparse

BASE_PROPS = 33  # top-level properties of an entry without padding


def entry(i: int, props: int) -> str:
    n = str(i)
    level = 2 if i % 7 == 0 else 0
    extra = "".join('"extra%d":"v%d-%s",' % (k, k, n) for k in range(max(0, props - BASE_PROPS)))
    return (
        '{"name":"file' + n + '","extension":".txt","id":"c0ffee!' + n + '","itemType":"file",'
        '"size":' + str(1000 + i) + ',"displaySize":"1 KB","dateModified":"2026-12-06T10:00:00Z",'
        '"dateCreated":"2026-12-01T08:30:00Z","mimeType":"text/plain","sharingLevel":"Public",'
        '"sharingLevelValue":' + str(level) + ',"ownerName":"Ann","ownerCid":"c0ffee",'
        '"parentId":"c0ffee!root","commentCount":0,"tagCount":1,"isEmbeddable":true,"hasThumbnail":true,'
        '"version":3,"etag":"e-' + n + '","description":"","iconType":"text",' + extra +
        '"urls":{"download":"http://127.0.0.1:8765/download?id=c0ffee!' + n + '",'
        '"viewInBrowser":"http://127.0.0.1:8765/view?id=c0ffee!' + n + '"},'
        '"thumbnails":[{"width":96,"height":96,"url":"/t/96"},{"width":176,"height":176,"url":"/t/176"}],'
        '"isShared":true,"permissions":"read","downloadCount":12,"sortKey":"' + n + '",'
        '"color":"#2266aa","lastAccess":"2026-12-05"}'
    )


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--props", type=int, default=BASE_PROPS)
    parser.add_argument("count", type=int)
    parser.add_argument("output")
    args = parser.parse_args()
    with open(args.output, "w", encoding="utf-8") as out:
        out.write('<html><body><script>var primedResponse={"id":"c0ffee!root","children":[')
        for i in range(args.count):
            if i:
                out.write(",")
            out.write(entry(i, args.props))
        out.write('],"totalCount":' + str(args.count) + "};</script></body></html>\n")


if __name__ == "__main__":
    main()
