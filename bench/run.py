#!/usr/bin/env python3
"""Times the whole kelvora process on generated workloads against the floor.

The floor of a workload is `cat picture list expected-output` writing to the
same kind of place as kelvora (a pipe: kelvora is given /dev/stdout). Both are
timed by hyperfine in the same session, in alternating batches, so load on the
machine falls on both alike; the medians of all runs are compared.

Usage: run.py KELVORA MAKE_WORKLOADS WORKDIR [--rounds R] [--runs N] [--json FILE]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys

WORKLOADS = [
    # name, picture, list, what
    ("W1", "pic1024.bmp", "w1_1024.txt", "1024x1024 8-bit, one B record"),
    ("W2", "pic1024.bmp", "w2.txt", "1024x1024 8-bit, one T record"),
    ("W3", "pic1024.bmp", "w3.txt", "1024x1024 8-bit, one S record"),
    ("W4", "pic1024.bmp", "w4.txt", "1024x1024 8-bit, 16,384 8x8 S records"),
    ("W5", "sheet.bmp", "w5.txt", "256x192 4-bit, 200 mixed records"),
    ("W6", "sheet.bmp", "w6.txt", "256x192 4-bit, 100,000 8x8 records, B T S s"),
    ("W1-256", "pic256.bmp", "w1_256.txt", "W1 at 256x256"),
    ("W1-512", "pic512.bmp", "w1_512.txt", "W1 at 512x512"),
]


def hyperfine_batch(commands, runs, workdir):
    """One hyperfine run of the commands; returns each command's times."""
    result_file = os.path.join(workdir, "hyperfine.json")
    done = subprocess.run(["hyperfine", "--style", "none", "-N", "--output", "pipe", "--warmup",
                           "2", "--runs", str(runs), "--export-json", result_file, *commands],
                          cwd=workdir, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"hyperfine failed:\n{done.stderr}")
    with open(result_file) as f:
        return [r["times"] for r in json.load(f)["results"]]


def peak_kib(argv, workdir):
    """Peak resident memory of one run, from GNU time."""
    if not os.path.exists("/usr/bin/time"):
        return None
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], cwd=workdir, check=True,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kelvora")
    parser.add_argument("make_workloads")
    parser.add_argument("workdir")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--json")
    args = parser.parse_args()
    if shutil.which("hyperfine") is None:
        sys.exit("run.py needs hyperfine (Debian package hyperfine)")

    os.makedirs(args.workdir, exist_ok=True)
    subprocess.run([args.make_workloads, args.workdir], check=True)
    kelvora = os.path.abspath(args.kelvora)

    results = []
    print(f"{'workload':8} {'output':>10} {'kelvora ms':>11} {'floor ms':>9} {'ratio':>6} "
          f"{'peak KiB':>9}  what")
    for name, picture, listing, what in WORKLOADS:
        expected = f"{name}.expected.asm"
        subprocess.run([kelvora, picture, listing, expected], cwd=args.workdir, check=True,
                       stdout=subprocess.DEVNULL)
        out_size = os.path.getsize(os.path.join(args.workdir, expected))
        run_kelvora = f"{kelvora} {picture} {listing} /dev/stdout"
        run_floor = f"cat {picture} {listing} {expected}"
        k_times, f_times = [], []
        for round_number in range(args.rounds):
            # Alternate which goes first, so neither always runs on a warmer machine.
            order = [run_kelvora, run_floor] if round_number % 2 == 0 else [run_floor, run_kelvora]
            times = dict(zip(order, hyperfine_batch(order, args.runs, args.workdir)))
            k_times += times[run_kelvora]
            f_times += times[run_floor]
        k = statistics.median(k_times)
        f = statistics.median(f_times)
        peak = peak_kib([kelvora, picture, listing, "/dev/null"], args.workdir)
        results.append({"workload": name, "what": what, "output_bytes": out_size,
                        "kelvora_median_s": k, "floor_median_s": f, "ratio": k / f,
                        "peak_rss_kib": peak, "kelvora_times_s": k_times,
                        "floor_times_s": f_times})
        peak_text = f"{peak:>9,}" if peak is not None else f"{'?':>9}"
        print(f"{name:8} {out_size:>10,} {k * 1000:>11.2f} {f * 1000:>9.2f} {k / f:>6.2f} "
              f"{peak_text}  {what}", flush=True)
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=2)


if __name__ == "__main__":
    main()
