#!/usr/bin/env python3
"""Processor time of zandorel-cli on each hostile page shape against a benign
page of the same size, side by side:

    python3 bench/hostile_compare.py [--build build] [--work /tmp/zandorel-hostile]
                                     [--sizes 1000000,2000000,8000000] [--runs 3]

For each size, pages of every shape (bench/hostile_page.py) and a benign one
are listed interleaved, best of --runs, with a template that reads one
property no entry has, so every entry is read to its end. Prints the
processor time (user + system) of each and its ratio to the benign page.
"""
import argparse
import os
import resource
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import hostile_page  # noqa: E402

SHAPES = ["brackets", "braces", "commas", "openkey", "split", "nested", "collide"]
TEMPLATE = "%t(name)%t(absent)"


def cpu_seconds(cli, page):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([cli, "--page", page, "--format", TEMPLATE], stdout=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--work", default="/tmp/zandorel-hostile")
    parser.add_argument("--sizes", default="1000000,2000000,8000000")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    cli = os.path.join(args.build, "src", "cli", "zandorel-cli")
    os.makedirs(args.work, exist_ok=True)
    worst = 0.0
    for size in [int(s) for s in args.sizes.split(",")]:
        pages = {}
        for name in ["benign"] + SHAPES:
            path = os.path.join(args.work, "%s-%d.html" % (name, size))
            if not os.path.exists(path):
                with open(path, "w", encoding="utf-8") as out:
                    out.write(hostile_page.shape(name, size))
            pages[name] = path
        best = {name: float("inf") for name in pages}
        for _ in range(args.runs):
            for name, path in pages.items():
                best[name] = min(best[name], cpu_seconds(cli, path))
        for name in SHAPES:
            ratio = best[name] / max(best["benign"], 1e-3)
            worst = max(worst, ratio)
            print("%9d %-9s %7.3f s  benign %7.3f s  ratio %5.2f" % (size, name, best[name], best["benign"], ratio))
    print("worst ratio %.2f" % worst)


if __name__ == "__main__":
    main()
