#!/usr/bin/env python3
"""Writes a folder page of about SIZE bytes in one hostile shape, or a
benign page of the same size, for timing the listing side by side:

    python3 bench/hostile_page.py brackets 1000000 /tmp/brackets-1m.html
    python3 bench/hostile_page.py benign 1000000 /tmp/benign-1m.html

Shapes:
  benign     ordinary entries (bench/make_page.py) up to the size
  brackets   one entry whose values open "[" and never close inside it
             ("":[xx"":[xx...), the brackets closed after the entry
  braces     one entry whose values open "{" and all close at its end
  commas     one entry that is a long run of commas before its last key
  openkey    a run of commas, then a key whose closing quote never comes
  nested     one entry nested 40 objects deep around a long run of pairs
  split      members of a long dotted parent name repeating a Title that
             an earlier entry splits at another dot
  longnames  entries whose names are 4,000 characters: with a template of
             1,000 %t(name) each link is 4,000,000 characters
  collide    one entry of distinct titles that share one 32-bit FNV-1a
             value of their case-folded UTF-16 units
"""
import argparse
import itertools
import random
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

HEAD = '<html><body><script>var primedResponse={"id":"c0ffee!root","children":['
TAIL = '],"totalCount":1};</script></body></html>\n'

FNV_PRIME = 16777619
FNV_BASIS = 2166136261


def fnv_units(units, h=FNV_BASIS):
    for u in units:
        h = ((h ^ u) * FNV_PRIME) & 0xFFFFFFFF
    return h


def colliding_blocks(count):
    """`count` pairs of distinct 4-unit blocks (CJK ideographs, which case
    folding leaves alone), each pair leaving FNV-1a in the same state from
    the state the blocks before it leave: a birthday search."""
    rng = random.Random(17)
    pairs = []
    h = FNV_BASIS
    for _ in range(count):
        seen = {}
        while True:
            block = tuple(0x4E00 + rng.randrange(0x4000) for _ in range(4))
            s = fnv_units(block, h)
            other = seen.get(s)
            if other is not None and other != block:
                pairs.append((other, block))
                h = s
                break
            seen[s] = block
    return pairs


def colliding_titles(k):
    """2**k distinct titles of 4*k units with one FNV-1a value."""
    pairs = colliding_blocks(k)
    for choice in itertools.product((0, 1), repeat=k):
        yield "".join("".join(chr(u) for u in pairs[i][c]) for i, c in enumerate(choice))


def benign(size):
    from make_page import entry
    parts = []
    total = len(HEAD) + len(TAIL)
    i = 0
    while total < size:
        e = entry(i, 33)
        parts.append(e)
        total += len(e) + 1
        i += 1
    return HEAD + ",".join(parts) + TAIL.replace('"totalCount":1', '"totalCount":%d' % i)


def one_entry(body, after=""):
    return HEAD + "{" + body + "}" + after + TAIL


def shape(name, size):
    if name == "benign":
        return benign(size)
    if name == "brackets":
        unit = '"":[xx'
        n = size // len(unit)
        return one_entry('"name":"q",' + unit * n, "]" * n)
    if name == "braces":
        unit = '"":{xx'
        n = size // len(unit)
        return one_entry('"name":"q",' + unit * n + "}" * n)
    if name == "commas":
        return one_entry('"name":"q","a":' + "," * size + '"b":1')
    if name == "openkey":
        return one_entry('"name":"q","a":' + "," * (size // 2) + '"' + "k" * (size // 2))
    if name == "split":
        parent = "P" * (size // 4)
        return one_entry('"name":"q","%s":{"y.a":1},"%s.y":{%s"z":1}' % (parent, parent, '"a":1,' * (size // 12)))
    if name == "nested":
        depth = 40
        inner = ",".join('"k%d":"v"' % i for i in range(size // 10))
        return one_entry('"name":"q",' + '"a":{' * depth + inner + "}" * depth)
    if name == "longnames":
        entries = []
        total = len(HEAD) + len(TAIL)
        i = 0
        while total < size:
            e = '{"name":"%s","extension":".txt","sharingLevelValue":0}' % (("n%d-" % i) + "x" * 4000)[:4000]
            entries.append(e)
            total += len(e) + 1
            i += 1
        return HEAD + ",".join(entries) + TAIL
    if name == "collide":
        titles = []
        total = 0
        k = 1
        while (2 ** k) * (4 * 3 * k + 6) < size:
            k += 1
        for t in colliding_titles(k):
            titles.append('"%s":1' % t)
            total += len(t.encode("utf-8")) + 5
            if total >= size:
                break
        return one_entry('"name":"q",' + ",".join(titles))
    raise SystemExit("unknown shape " + name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("shape")
    parser.add_argument("size", type=int)
    parser.add_argument("output")
    args = parser.parse_args()
    with open(args.output, "w", encoding="utf-8") as out:
        out.write(shape(args.shape, args.size))


if __name__ == "__main__":
    main()
