#!/usr/bin/env python3
"""Side-by-side timing of the listing tool against jq and a simdjson program.

    python3 bench/compare.py [--build build] [--work /tmp/zandorel-bench]
                             [--sizes 10000,100000,300000] [--runs 3]

Builds synthetic folder pages (bench/make_page.py) of each size, plus one of
100,000 entries padded to 60 properties, and runs on each, interleaved, best
of --runs:
  zandorel-cli --page PAGE with the template below and the default join;
  jq on the same listing already cut out as a JSON array;
  reference_links (bench/reference_links.cpp): the page parsed with simdjson.
All three print the same links; the outputs of the smallest page are
compared. Prints wall time and peak memory of each, and the ratios.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = '<a href="%t(urls.download)">%t(name)%t(extension)</a> %t(size)'
JQ_FILTER = r'.[] | "<a href=\"\(.urls.download)\">\(.name)\(.extension)</a> \(.size)\r"'


def make_page(work, count, props):
    name = "page-%d%s.html" % (count, "" if props == 33 else "-p%d" % props)
    path = os.path.join(work, name)
    if not os.path.exists(path):
        subprocess.run([sys.executable, os.path.join(HERE, "make_page.py"), "--props", str(props), str(count),
                        path], check=True)
    listing = path[:-5] + ".json"
    if not os.path.exists(listing):
        # In a process of its own: the peak memory of every program timed
        # here starts from this process's own peak (it is forked from it).
        cut = ("import sys; t = open(sys.argv[1], 'rb').read(); "
               "s = t.index(b'\"children\":[') + len(b'\"children\":'); "
               "e = t.rindex(b'],\"totalCount\"') + 1; open(sys.argv[2], 'wb').write(t[s:e])")
        subprocess.run([sys.executable, "-c", cut, path, listing], check=True)
    return path, listing


def measure(argv, out_path=None):
    """Wall seconds and peak resident memory (bytes) of one run."""
    out = open(out_path, "wb") if out_path else open(os.devnull, "wb")
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=out, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    out.close()
    err = proc.stderr.read().decode("utf-8", "replace")
    proc.stderr.close()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit("%s failed (%d): %s" % (argv[0], proc.returncode, err[:500]))
    return wall, usage.ru_maxrss * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--work", default="/tmp/zandorel-bench")
    parser.add_argument("--sizes", default="10000,100000,300000")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--cli", help="zandorel-cli to time (default: the build's)")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    cli = args.cli or os.path.join(args.build, "src", "cli", "zandorel-cli")
    ref = os.path.join(args.build, "bench", "reference_links")
    sizes = [int(s) for s in args.sizes.split(",")]

    cases = [(n, 33) for n in sizes] + [(100000, 60), (1, 33)]
    pages = {case: make_page(args.work, *case) for case in cases}
    programs = {
        "zandorel-cli": lambda page, listing: [cli, "--page", page, "--format", TEMPLATE, "--join", "$1\\r\\n"],
        "jq": lambda page, listing: ["jq", "-r", JQ_FILTER, listing],
        "reference": lambda page, listing: [ref, page],
    }

    # The three print the same bytes.
    smallest = pages[(sizes[0], 33)]
    digests = {}
    for name, argv in programs.items():
        out = os.path.join(args.work, "out-" + name)
        measure(argv(*smallest), out)
        with open(out, "rb") as f:
            digests[name] = hashlib.sha256(f.read()).hexdigest()
        os.remove(out)
    same = len(set(digests.values())) == 1
    print("outputs on %d files: %s" % (sizes[0], "identical" if same else "DIFFER " + repr(digests)))

    best = {}
    for _ in range(args.runs):
        for case in cases:
            for name, argv in programs.items():
                if (case[1] != 33 or case[0] == 1) and name != "zandorel-cli":
                    continue
                wall, peak = measure(argv(*pages[case]))
                key = (case, name)
                old = best.get(key)
                best[key] = (min(wall, old[0]), min(peak, old[1])) if old else (wall, peak)

    print()
    print("%-22s %10s %8s %11s %8s %10s" % ("page", "program", "time ms", "peak MiB", "x page", "us/file"))
    for case in cases:
        if case[0] == 1:
            continue
        size = os.path.getsize(pages[case][0])
        label = "%d files, %d props (%.0f MB)" % (case[0], case[1], size / 1e6)
        for name in programs:
            if (case, name) not in best:
                continue
            wall, peak = best[(case, name)]
            print("%-22s %10s %8.0f %11.1f %8.2f %10.2f" % (label if name == "zandorel-cli" else "", name,
                                                              wall * 1000, peak / 2**20, peak / size,
                                                              wall * 1e6 / case[0]))
    print()
    for case in cases:
        if case[1] != 33 or case[0] == 1:
            continue
        cli_t = best[(case, "zandorel-cli")][0]
        print("%7d files: zandorel-cli / reference = %.2f   jq / zandorel-cli = %.2f" %
              (case[0], cli_t / best[(case, "reference")][0], best[(case, "jq")][0] / cli_t))
    start = best[((1, 33), "zandorel-cli")][0]
    for label, fixed in (("", 0.0), (" after the start-up (a one-file page: %.1f ms)" % (start * 1000), start)):
        per_file = {n: (best[((n, 33), "zandorel-cli")][0] - fixed) / n for n in sizes}
        mean = sum(per_file.values()) / len(per_file)
        print("zandorel-cli time per file%s: " % label + ", ".join(
            "%d: %.2f us (%+.0f %% from the mean)" % (n, t * 1e6, (t / mean - 1) * 100)
            for n, t in per_file.items()))
    if ((100000, 60), "zandorel-cli") in best and ((100000, 33), "zandorel-cli") in best:
        wide = best[((100000, 60), "zandorel-cli")][0] / os.path.getsize(pages[(100000, 60)][0])
        narrow = best[((100000, 33), "zandorel-cli")][0] / os.path.getsize(pages[(100000, 33)][0])
        print("60-property page per MB / 33-property page per MB: %.2f" % (wide / narrow))
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
