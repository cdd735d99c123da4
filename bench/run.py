#!/usr/bin/env python3
"""Times the whole kelvora process on generated workloads against the floor.

The floor of a workload is `cat picture list expected-output` writing to the
same kind of place kelvora writes to (a pipe: kelvora is given /dev/stdout),
timed in the same session, alternating run by run with kelvora so that any
load on the machine falls on both alike.

Usage: run.py KELVORA MAKE_WORKLOADS WORKDIR [--runs N] [--json FILE]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

WORKLOADS = [
    # name, picture, list, what
    ("W1", "pic1024.bmp", "w1_1024.txt", "1024x1024 8-bit, one B record"),
    ("W2", "pic1024.bmp", "w2.txt", "1024x1024 8-bit, one T record"),
    ("W3", "pic1024.bmp", "w3.txt", "1024x1024 8-bit, one S record"),
    ("W4", "pic1024.bmp", "w4.txt", "1024x1024 8-bit, 16,384 8x8 S records"),
    ("W5", "sheet.bmp", "w5.txt", "256x192 4-bit, 200 mixed records"),
    ("W1-256", "pic256.bmp", "w1_256.txt", "W1 at 256x256"),
    ("W1-512", "pic512.bmp", "w1_512.txt", "W1 at 512x512"),
]


def timed_run(argv, cwd):
    """Runs argv with its standard output on a pipe that is drained and
    discarded; returns (seconds, bytes written, peak resident KiB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    size = 0
    fd = proc.stdout.fileno()
    while True:
        chunk = os.read(fd, 1 << 20)
        if not chunk:
            break
        size += len(chunk)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    proc.stdout.close()
    if proc.returncode != 0:
        sys.exit(f"{argv[0]} failed with status {proc.returncode}")
    return elapsed, size, usage.ru_maxrss


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kelvora")
    parser.add_argument("make_workloads")
    parser.add_argument("workdir")
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--json")
    args = parser.parse_args()

    os.makedirs(args.workdir, exist_ok=True)
    subprocess.run([args.make_workloads, args.workdir], check=True)
    kelvora = os.path.abspath(args.kelvora)

    results = []
    print(f"{'workload':8} {'output':>12} {'kelvora ms':>11} {'floor ms':>9} {'ratio':>6} "
          f"{'peak KiB':>9}  what")
    for name, picture, listing, what in WORKLOADS:
        expected = f"{name}.expected.asm"
        subprocess.run([kelvora, picture, listing, expected], cwd=args.workdir, check=True,
                       stdout=subprocess.DEVNULL)
        kelvora_argv = [kelvora, picture, listing, "/dev/stdout"]
        floor_argv = ["cat", picture, listing, expected]
        for _ in range(2):  # warm-up: caches, page tables
            timed_run(kelvora_argv, args.workdir)
            timed_run(floor_argv, args.workdir)
        k_times, f_times, peaks = [], [], []
        out_size = os.path.getsize(os.path.join(args.workdir, expected))
        for _ in range(args.runs):
            t, size, peak = timed_run(kelvora_argv, args.workdir)
            if size != out_size:
                sys.exit(f"{name}: kelvora wrote {size} bytes to the pipe, expected {out_size}")
            k_times.append(t)
            peaks.append(peak)
            t, _, _ = timed_run(floor_argv, args.workdir)
            f_times.append(t)
        k = statistics.median(k_times)
        f = statistics.median(f_times)
        peak = max(peaks)
        results.append({"workload": name, "what": what, "output_bytes": out_size,
                        "kelvora_median_s": k, "floor_median_s": f, "ratio": k / f,
                        "peak_rss_kib": peak, "kelvora_times_s": k_times,
                        "floor_times_s": f_times})
        print(f"{name:8} {out_size:>12,} {k * 1000:>11.2f} {f * 1000:>9.2f} {k / f:>6.2f} "
              f"{peak:>9,}  {what}")
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=2)


if __name__ == "__main__":
    main()
