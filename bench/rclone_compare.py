#!/usr/bin/env python3
"""Side-by-side timing of zandorel-cli on rclone remotes.

    python3 bench/rclone_compare.py [--build build] [--cli PATH] [--work /tmp/zandorel-rclone-bench]
                                    [--files 10000] [--folders 10] [--links 1000] [--runs 3]

(a) listing: --files files spread over --folders sub-folders of an alias
    remote over a local tree, listed with sub-folders by
        zandorel-cli --remote bench: --recursive --format '%t(path) %t(size)'
    and by rclone alone,
        rclone lsjson -R bench:
    Goal: zandorel-cli within 2x of rclone.
(b) public links: --links files in a bucket of the tests' S3 server
    (tests/s3server.py) on loopback, linked by
        zandorel-cli --remote s3:bucket --links --format '%t(urls.download)'
    Goal: under 10 s. For scale, rclone's own one-process-per-link way is
    timed on 10 files (rclone link, one call each) and scaled to --links.

The commands run interleaved, --runs times each; each run's output is
checked (every file listed; every link present). Prints the best and the
median wall time of each, its peak memory (the largest process: for
zandorel-cli that is the rclone it runs) and the ratios.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def measure(argv, env):
    """Wall seconds, peak resident memory (bytes) and standard output of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    out, err = proc.communicate()
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(argv), proc.returncode, err.decode("utf-8", "replace")[:500]))
    return wall, out


def peak_memory(argv, env):
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, _, usage = os.wait4(proc.pid, 0)
    return usage.ru_maxrss * 1024


def make_tree(folder, files, folders):
    """files small files in folders sub-folders, or directly in folder
    when folders is 0; kept for the next run."""
    marker = "%s.complete-%d-%d" % (folder, files, folders)
    if os.path.exists(marker):
        return
    shutil.rmtree(folder, ignore_errors=True)
    for i in range(files):
        sub = os.path.join(folder, "folder %02d" % (i % folders)) if folders else folder
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, "file %05d.txt" % i), "w") as f:
            f.write("file %d\n" % i)
    open(marker, "w").close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--cli", help="zandorel-cli to time (default: the build's)")
    parser.add_argument("--work", default="/tmp/zandorel-rclone-bench")
    parser.add_argument("--files", type=int, default=10000)
    parser.add_argument("--folders", type=int, default=10)
    parser.add_argument("--links", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    cli = args.cli or os.path.join(args.build, "src", "cli", "zandorel-cli")
    rclone = shutil.which("rclone")
    if rclone is None:
        sys.exit("rclone is not on the PATH (Debian package rclone)")

    tree = os.path.join(args.work, "tree")
    store = os.path.join(args.work, "store")
    make_tree(tree, args.files, args.folders)
    # The bucket's files lie directly in it.
    bucket_files = os.path.join(store, "bucket")
    make_tree(bucket_files, args.links, 0)

    server = subprocess.Popen([sys.executable, os.path.join(ROOT, "tests", "s3server.py"), store, "--quiet"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = int(server.stdout.readline())
        config = os.path.join(args.work, "rclone.conf")
        with open(config, "w") as f:
            f.write("[bench]\ntype = alias\nremote = %s\n\n" % tree)
            f.write("[s3]\ntype = s3\nprovider = Other\naccess_key_id = zandorel\n"
                    "secret_access_key = zandorel-secret\nendpoint = http://127.0.0.1:%d\n"
                    "force_path_style = true\n" % port)
        env = dict(os.environ, RCLONE_CONFIG=config)
        # rclone's S3 client fails on a CA bundle given in the environment.
        env.pop("AWS_CA_BUNDLE", None)

        listing = {
            "zandorel-cli": [cli, "--remote", "bench:", "--recursive", "--format", "%t(path) %t(size)"],
            "rclone lsjson": [rclone, "lsjson", "-R", "bench:"],
        }
        links = {"zandorel-cli": [cli, "--remote", "s3:bucket", "--links", "--format", "%t(urls.download)"]}
        sample = sorted(os.listdir(bucket_files))[:10]
        one_by_one = ["sh", "-c", 'for f in "$@"; do "%s" link "s3:bucket/$f" >/dev/null || exit 1; done'
                      % rclone, "sh", *sample]

        times = {}
        for _ in range(args.runs):
            for name, argv in listing.items():
                wall, out = measure(argv, env)
                count = out.count(b'"IsDir":false') if name == "rclone lsjson" else len(out.splitlines())
                if count != args.files:
                    sys.exit("%s listed %d files, not %d" % (name, count, args.files))
                times.setdefault(("a", name), []).append(wall)
            for name, argv in links.items():
                wall, out = measure(argv, env)
                made = [line for line in out.decode().splitlines() if "X-Amz-Signature=" in line]
                if len(made) != args.links:
                    sys.exit("%s made %d links, not %d" % (name, len(made), args.links))
                times.setdefault(("b", name), []).append(wall)
            wall, _ = measure(one_by_one, env)
            times.setdefault(("b", "rclone link"), []).append(wall)

        best = {key: min(walls) for key, walls in times.items()}
        median = {key: statistics.median(walls) for key, walls in times.items()}
        memory = {key: peak_memory(argv, env) for key, argv in
                  [(("a", n), a) for n, a in listing.items()] + [(("b", n), a) for n, a in links.items()]}
        print("(a) %d files in %d sub-folders of an alias remote, recursive (wall time of %d runs: best, median):"
              % (args.files, args.folders, args.runs))
        for name in listing:
            print("    %-16s %7.3f s %7.3f s  %6.1f MB peak" % (name, best[("a", name)], median[("a", name)],
                                                            memory[("a", name)] / 1e6))
        print("    ratio zandorel-cli / rclone lsjson: best %.2f, median %.2f (goal: within 2)"
              % (best[("a", "zandorel-cli")] / best[("a", "rclone lsjson")],
                 median[("a", "zandorel-cli")] / median[("a", "rclone lsjson")]))
        print("(b) %d public links on the local S3 server (wall time of %d runs: best, median):"
              % (args.links, args.runs))
        print("    %-16s %7.3f s %7.3f s  %6.1f MB peak  (goal: under 10 s)"
              % ("zandorel-cli", best[("b", "zandorel-cli")], median[("b", "zandorel-cli")],
                 memory[("b", "zandorel-cli")] / 1e6))
        scaled = best[("b", "rclone link")] / len(sample) * args.links
        print("    %-16s %7.3f s for %d, so about %.0f s for %d (one process per link)"
              % ("rclone link", best[("b", "rclone link")], len(sample), scaled, args.links))
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
