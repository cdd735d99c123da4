#!/usr/bin/env python3
"""Times the whole kelvora process on generated workloads against the floor.

The floor of a workload is the `floor` program (bench/floor.cpp, statically
linked): it reads the picture and the list and writes the expected output's
bytes with plain read and write, to the same kind of place as kelvora (a pipe:
kelvora is given /dev/stdout). `cat` of the same three files is timed too, for
reference. All are timed by hyperfine in the same session, in batches whose
order changes from round to round, so load on the machine falls on each alike;
the medians of all runs are compared.

With --scaling, it times kelvora and the floor against picture size (one B
record over pictures of 128 to 1024 pixels square) and against record count
(W6 lists of 1,000 to 1,000,000 records), so that linearity can be read off.

Usage: run.py KELVORA FLOOR MAKE_WORKLOADS WORKDIR [--scaling] [--rounds R] [--runs N]
              [--json FILE]
"""
import argparse
import itertools
import json
import os
import shutil
import statistics
import struct
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
    ("W6", "sheet.bmp", "w6.txt", "256x192 4-bit, 100,000 8x8 records, B T S s"),
    ("W1-256", "pic256.bmp", "w1_256.txt", "W1 at 256x256"),
    ("W1-512", "pic512.bmp", "w1_512.txt", "W1 at 512x512"),
]

# Scaling: (size, picture, list) for one B record over the whole picture,
# and (count, picture, list) for W6-like lists.
PICTURE_SIZES = [(size, f"pic{size}.bmp", f"w1_{size}.txt") for size in (128, 256, 512, 1024)]
RECORD_COUNTS = [(count, "sheet.bmp", f"w6_{count}.txt")
                 for count in (1000, 10000, 100000, 1000000)]

# A batch of one command takes about this long at most: points whose single
# run is long get fewer runs per batch.
BATCH_SECONDS = 1.0


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


def time_in_turns(commands, rounds, runs, workdir):
    """Times the commands in `rounds` batches, each batch in another order.

    Every order of the commands comes in turn (two commands alternate), so
    none always runs first or on a warmer machine. Returns each command's
    times, in the order given."""
    orders = list(itertools.permutations(range(len(commands))))
    times = [[] for _ in commands]
    for round_number in range(rounds):
        order = orders[round_number % len(orders)]
        batch = hyperfine_batch([commands[i] for i in order], runs, workdir)
        for i, batch_times in zip(order, batch):
            times[i] += batch_times
    return times


def peak_kib(argv, workdir):
    """Peak resident memory of one run, from GNU time."""
    if not os.path.exists("/usr/bin/time"):
        return None
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], cwd=workdir, check=True,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def statically_linked(path):
    """Whether an ELF executable starts without the dynamic loader (None: can't tell)."""
    with open(path, "rb") as f:
        head = f.read(64)
        if len(head) < 64 or head[:4] != b"\x7fELF" or head[4] != 2:
            return None  # not a 64-bit ELF file
        endian = "<" if head[5] == 1 else ">"
        (table_at,) = struct.unpack_from(endian + "Q", head, 32)
        entry_size, entries = struct.unpack_from(endian + "HH", head, 54)
        f.seek(table_at)
        table = f.read(entry_size * entries)
    program_interpreter = 3
    return all(struct.unpack_from(endian + "I", table, i * entry_size)[0] != program_interpreter
               for i in range(entries))


def describe_floor(floor):
    linked = statically_linked(floor)
    how = {True: "statically linked", False: "dynamically linked",
           None: "linking unknown"}[linked]
    return f"floor: {floor} ({how})"


def write_expected(kelvora, picture, listing, expected, workdir):
    """Writes kelvora's output to `expected`; returns its size and the run's wall time."""
    start = time.perf_counter()
    subprocess.run([kelvora, picture, listing, expected], cwd=workdir, check=True,
                   stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    return os.path.getsize(os.path.join(workdir, expected)), seconds


def cell(value, width, form):
    return f"{'?':>{width}}" if value is None else f"{value:>{width}{form}}"


def run_workloads(args, kelvora, floor):
    """The benchmark table: kelvora, the floor and cat on each workload."""
    results = []
    print(f"{describe_floor(floor)}; medians of {args.rounds} rounds x {args.runs} runs, "
          f"output to a pipe")
    print("kelvora/floor is the figure that counts (target: 2.00 at most); "
          "kelvora/cat is for reference")
    print(f"{'workload':8} {'output':>10} {'kelvora ms':>11} {'floor ms':>9} {'cat ms':>7} "
          f"{'kelvora/floor':>14} {'kelvora/cat':>12} {'peak KiB':>9}  what")
    for name, picture, listing, what in WORKLOADS:
        expected = f"{name}.expected.asm"
        out_size, _ = write_expected(kelvora, picture, listing, expected, args.workdir)
        k_times, f_times, c_times = time_in_turns(
            [f"{kelvora} {picture} {listing} /dev/stdout",
             f"{floor} {picture} {listing} {expected}",
             f"cat {picture} {listing} {expected}"],
            args.rounds, args.runs, args.workdir)
        k = statistics.median(k_times)
        f = statistics.median(f_times)
        c = statistics.median(c_times)
        peak = peak_kib([kelvora, picture, listing, "/dev/null"], args.workdir)
        floor_peak = peak_kib([floor, picture, listing, expected], args.workdir)
        results.append({"workload": name, "what": what, "output_bytes": out_size,
                        "kelvora_median_s": k, "floor_median_s": f, "cat_median_s": c,
                        "ratio": k / f, "cat_ratio": k / c, "peak_rss_kib": peak,
                        "floor_peak_rss_kib": floor_peak, "kelvora_times_s": k_times,
                        "floor_times_s": f_times, "cat_times_s": c_times})
        print(f"{name:8} {out_size:>10,} {k * 1000:>11.2f} {f * 1000:>9.2f} {c * 1000:>7.2f} "
              f"{k / f:>14.2f} {k / c:>12.2f} {cell(peak, 9, ',')}  {what}", flush=True)
    return results


def scaling_table(args, kelvora, floor, title, heading, unit, points):
    """Times kelvora and the floor at each point, printing one row per point.

    `points` are (amount, label, picture, list); the step columns give the
    time each added unit (pixel or record) cost from the row before, which
    stays level while the cost grows linearly."""
    print(title)
    print(f"{heading:12} {'output':>12} {'runs':>5} {'kelvora ms':>11} {'floor ms':>9} "
          f"{'kelvora/floor':>14} {'peak KiB':>9} {'kelvora ns/' + unit:>17} "
          f"{'step ns/' + unit:>15} {'floor step':>11}")
    rows = []
    before = None
    for amount, label, picture, listing in points:
        expected = f"scaling-{listing[:-4]}.expected.asm"
        out_size, seconds = write_expected(kelvora, picture, listing, expected, args.workdir)
        runs = min(args.runs, max(3, int(BATCH_SECONDS / max(seconds, 1e-6))))
        k_times, f_times = time_in_turns(
            [f"{kelvora} {picture} {listing} /dev/stdout",
             f"{floor} {picture} {listing} {expected}"],
            args.rounds, runs, args.workdir)
        k = statistics.median(k_times)
        f = statistics.median(f_times)
        peak = peak_kib([kelvora, picture, listing, "/dev/null"], args.workdir)
        step = floor_step = None
        if before is not None:
            step = (k - before[1]) / (amount - before[0]) * 1e9
            floor_step = (f - before[2]) / (amount - before[0]) * 1e9
        before = (amount, k, f)
        rows.append({"amount": amount, "unit": unit, "picture": picture, "list": listing,
                     "output_bytes": out_size, "kelvora_median_s": k, "floor_median_s": f,
                     "ratio": k / f, "peak_rss_kib": peak, "step_ns": step,
                     "floor_step_ns": floor_step, "kelvora_times_s": k_times,
                     "floor_times_s": f_times})
        print(f"{label:12} {out_size:>12,} {len(k_times):>5} {k * 1000:>11.2f} {f * 1000:>9.2f} "
              f"{k / f:>14.2f} {cell(peak, 9, ',')} {k / amount * 1e9:>17.2f} "
              f"{cell(step, 15, '.2f')} {cell(floor_step, 11, '.2f')}", flush=True)
        # The largest outputs are only needed while their point is timed.
        if out_size > 16 << 20:
            os.remove(os.path.join(args.workdir, expected))
    return rows


def run_scaling(args, kelvora, floor):
    print(f"{describe_floor(floor)}; medians of {args.rounds} rounds of at most {args.runs} runs "
          f"(fewer for long runs), output to a pipe")
    sizes = [(size * size, f"{size}x{size}", picture, listing)
             for size, picture, listing in PICTURE_SIZES]
    by_size = scaling_table(args, kelvora, floor,
                            "Against picture size: one B record over the whole 8-bit picture",
                            "picture", "pixel", sizes)
    print()
    counts = [(count, f"{count:,}", picture, listing) for count, picture, listing in RECORD_COUNTS]
    by_count = scaling_table(args, kelvora, floor,
                             "Against record count: 8x8 records B T S s over the 256x192 sheet",
                             "records", "record", counts)
    return {"picture_size": by_size, "record_count": by_count}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kelvora")
    parser.add_argument("floor")
    parser.add_argument("make_workloads")
    parser.add_argument("workdir")
    parser.add_argument("--scaling", action="store_true",
                        help="time against picture size and record count instead")
    parser.add_argument("--rounds", type=int, default=12)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--json")
    args = parser.parse_args()
    if shutil.which("hyperfine") is None:
        sys.exit("run.py needs hyperfine (Debian package hyperfine)")

    args.workdir = os.path.abspath(args.workdir)  # hyperfine runs in it
    os.makedirs(args.workdir, exist_ok=True)
    subprocess.run([args.make_workloads, *(["--scaling"] if args.scaling else []), args.workdir],
                   check=True)
    kelvora = os.path.abspath(args.kelvora)
    floor = os.path.abspath(args.floor)

    if args.scaling:
        results = run_scaling(args, kelvora, floor)
    else:
        results = run_workloads(args, kelvora, floor)
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=2)


if __name__ == "__main__":
    main()
