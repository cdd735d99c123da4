#!/usr/bin/env python3
"""Times the whole kelvora process on generated workloads against the floor.

The floor of a workload is the `floor` program (bench/floor.cpp, statically
linked): it reads the picture and the list and writes the expected output's
bytes with plain read and write, to the same kind of place as kelvora (a pipe:
kelvora is given /dev/stdout). `cat` of the same three files is timed too, for
reference. All are timed by hyperfine in the same session, in batches whose
order changes from round to round, so load on the machine falls on each alike;
the medians of all runs are compared.

Given kelvora-preview (--preview), it then times the checker and the preview
paired against kelvora in the same way on W1, W5 and W6 (targets: the check
1.5 times kelvora at most, the preview 10 times on W1 and W5, both within
32 MiB), the check's memory and time on a W6 list of a million records, a
dynamically linked kelvora-preview (--dynamic-preview) against the static
one, and a `make -j2` build of 200 small sheets through examples/Makefile
(--makefile): CPU a sheet, and the shares of kelvora and the check.

With --scaling, it times kelvora and the floor against picture size (one B
record over pictures of 128 to 1024 pixels square) and against record count
(W6 lists of 1,000 to 1,000,000 records), so that linearity can be read off.

Usage: run.py KELVORA FLOOR MAKE_WORKLOADS WORKDIR [--scaling] [--rounds R] [--runs N]
              [--preview PREVIEW] [--dynamic-preview PREVIEW] [--makefile MAKEFILE]
              [--json FILE]
"""
import argparse
import itertools
import json
import glob
import os
import resource
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
RECORD_COUNTS = [(count, "sheet.bmp", f"w6_{count}.txt") for count in (1000, 10000, 100000)] + [
    (1000000, "sheet.bmp", "w6_1000000.txt")]

# The workloads the checker and the preview are timed on, with whether the
# preview has a target there.
CHECKED = [("W1", True), ("W5", True), ("W6", False)]
CHECK_TARGET = 1.5
PREVIEW_TARGET = 10.0
MEMORY_TARGET_KIB = 32 * 1024

# A batch of one command takes about this long at most: points whose single
# run is long get fewer runs per batch.
BATCH_SECONDS = 1.0


def hyperfine_batch(commands, runs, workdir, ignore_failure=False):
    """One hyperfine run of the commands; returns each command's times."""
    result_file = os.path.join(workdir, "hyperfine.json")
    done = subprocess.run(["hyperfine", "--style", "none", "-N", "--output", "pipe", "--warmup",
                           "2", "--runs", str(runs), "--export-json", result_file,
                           *(["--ignore-failure"] if ignore_failure else []), *commands],
                          cwd=workdir, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"hyperfine failed:\n{done.stderr}")
    with open(result_file) as f:
        return [r["times"] for r in json.load(f)["results"]]


def time_in_turns(commands, rounds, runs, workdir, ignore_failure=False):
    """Times the commands in `rounds` batches, each batch in another order.

    Every order of the commands comes in turn (two commands alternate), so
    none always runs first or on a warmer machine. Returns each command's
    times, in the order given."""
    orders = list(itertools.permutations(range(len(commands))))
    times = [[] for _ in commands]
    for round_number in range(rounds):
        order = orders[round_number % len(orders)]
        batch = hyperfine_batch([commands[i] for i in order], runs, workdir, ignore_failure)
        for i, batch_times in zip(order, batch):
            times[i] += batch_times
    return times


def peak_kib(argv, workdir, check=True):
    """Peak resident memory of one run, from GNU time."""
    if not os.path.exists("/usr/bin/time"):
        return None
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], cwd=workdir, check=check,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def children_cpu():
    """CPU seconds (user and system) of all waited-for children so far."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def cpu_of(argvs, workdir):
    """CPU seconds the commands took, run one after the other; and wall seconds."""
    before = children_cpu()
    start = time.perf_counter()
    for argv in argvs:
        subprocess.run(argv, cwd=workdir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return children_cpu() - before, time.perf_counter() - start


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


def describe_linking(program):
    return {True: "statically linked", False: "dynamically linked",
            None: "linking unknown"}[statically_linked(program)]


def describe_floor(floor):
    return f"floor: {floor} ({describe_linking(floor)})"


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


def check_command(preview, picture, listing):
    # hyperfine's -i: the check exits with 1 on the errors a workload has.
    return f"{preview} --check {picture} {listing}"


def run_checker(args, kelvora, preview):
    """The checker and the preview, paired against kelvora."""
    by_name = {name: (picture, listing, what) for name, picture, listing, what in WORKLOADS}
    print()
    print(f"kelvora-preview: {preview} ({describe_linking(preview)}); "
          f"medians of {args.rounds} rounds x {args.runs} runs, paired against kelvora")
    print(f"check/kelvora target {CHECK_TARGET:.2f} at most; preview/kelvora "
          f"{PREVIEW_TARGET:.0f} at most on W1 and W5; peak memory {MEMORY_TARGET_KIB:,} KiB "
          f"at most")
    print(f"{'workload':8} {'kelvora ms':>11} {'check ms':>9} {'check/k':>8} {'preview ms':>11} "
          f"{'preview/k':>10} {'check KiB':>10} {'preview KiB':>12}  verdict")
    rows = []
    for name, preview_target in CHECKED:
        picture, listing, what = by_name[name]
        commands = [f"{kelvora} {picture} {listing} /dev/stdout",
                    check_command(preview, picture, listing)]
        if preview_target:
            commands.append(f"{preview} {picture} {listing} /dev/null")
        times = time_in_turns(commands, args.rounds, args.runs, args.workdir, ignore_failure=True)
        k = statistics.median(times[0])
        c = statistics.median(times[1])
        p = statistics.median(times[2]) if preview_target else None
        check_peak = peak_kib([preview, "--check", picture, listing], args.workdir, check=False)
        preview_peak = (peak_kib([preview, picture, listing, "/dev/null"], args.workdir,
                                 check=False) if preview_target else None)
        within = c / k <= CHECK_TARGET and (p is None or p / k <= PREVIEW_TARGET) and all(
            peak is None or peak <= MEMORY_TARGET_KIB for peak in (check_peak, preview_peak))
        rows.append({"workload": name, "what": what, "kelvora_median_s": k,
                     "check_median_s": c, "preview_median_s": p, "check_ratio": c / k,
                     "preview_ratio": None if p is None else p / k,
                     "check_peak_rss_kib": check_peak, "preview_peak_rss_kib": preview_peak,
                     "within_targets": within, "kelvora_times_s": times[0],
                     "check_times_s": times[1],
                     "preview_times_s": times[2] if preview_target else None})
        print(f"{name:8} {k * 1000:>11.2f} {c * 1000:>9.2f} {c / k:>8.2f} "
              f"{cell(None if p is None else p * 1000, 11, '.2f')} "
              f"{cell(None if p is None else p / k, 10, '.2f')} {cell(check_peak, 10, ',')} "
              f"{cell(preview_peak, 12, ',')}  {'within' if within else 'OUTSIDE'}", flush=True)
    return rows


def run_million(args, kelvora, preview):
    """The check on a W6 list of a million records: its memory and time."""
    picture, listing = "sheet.bmp", "w6_1000000.txt"
    size = os.path.getsize(os.path.join(args.workdir, listing))
    k_cpu, k_wall = cpu_of([[kelvora, picture, listing, "/dev/null"]] * 3, args.workdir)
    c_cpu, c_wall = cpu_of([[preview, "--check", picture, listing]] * 3, args.workdir)
    k_peak = peak_kib([kelvora, picture, listing, "/dev/null"], args.workdir)
    c_peak = peak_kib([preview, "--check", picture, listing], args.workdir, check=False)
    within = c_peak is None or c_peak <= MEMORY_TARGET_KIB
    print(f"W6 at 1,000,000 records ({size:,} bytes), 3 runs each: kelvora {k_wall / 3:.2f} s, "
          f"{cell(k_peak, 0, ',')} KiB; check {c_wall / 3:.2f} s ({c_cpu / k_cpu:.2f} x kelvora's "
          f"CPU), {cell(c_peak, 0, ',')} KiB  {'within' if within else 'OUTSIDE'}", flush=True)
    return {"list_bytes": size, "kelvora_wall_s": k_wall / 3, "check_wall_s": c_wall / 3,
            "kelvora_cpu_s": k_cpu / 3, "check_cpu_s": c_cpu / 3, "kelvora_peak_rss_kib": k_peak,
            "check_peak_rss_kib": c_peak, "within_targets": within}


def run_dynamic(args, preview, dynamic):
    """The check linked statically against the same linked dynamically."""
    picture, listing = "sheet.bmp", "w5.txt"
    times = time_in_turns([check_command(preview, picture, listing),
                           check_command(dynamic, picture, listing)],
                          args.rounds, args.runs, args.workdir, ignore_failure=True)
    s = statistics.median(times[0])
    d = statistics.median(times[1])
    print(f"check on W5, {describe_linking(preview)} {s * 1000:.2f} ms, "
          f"{describe_linking(dynamic)} ({dynamic}) {d * 1000:.2f} ms: "
          f"the dynamic loader adds {(d - s) * 1000:.2f} ms ({(d - s) / d * 100:.0f} %)",
          flush=True)
    return {"static_median_s": s, "dynamic_median_s": d, "static_times_s": times[0],
            "dynamic_times_s": times[1]}


def run_build(args, kelvora, preview, makefile):
    """`make -j2` over 200 small sheets: CPU a sheet, and kelvora's and the check's shares."""
    folder = os.path.join(args.workdir, "sheets")
    sheets = sorted(os.path.basename(p)[:-4] for p in glob.glob(os.path.join(folder, "*.bmp")))
    make = ["make", "-s", "-j2", "-f", os.path.abspath(makefile), f"KELVORA={kelvora}"]

    def build(with_check):
        shutil.rmtree(os.path.join(folder, "out"), ignore_errors=True)
        checker = preview if with_check else os.path.join(folder, "no-checker")
        before = children_cpu()
        start = time.perf_counter()
        done = subprocess.run([*make, f"KELVORA_PREVIEW={checker}"], cwd=folder,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            sys.exit(f"the build of the sheets failed:\n{done.stderr}")
        return children_cpu() - before, time.perf_counter() - start

    rounds = 3
    with_check = [build(True) for _ in range(rounds)]
    without = [build(False) for _ in range(rounds)]
    check_cpu = statistics.median(
        cpu_of([[preview, "--check", f"{n}.bmp", f"{n}.txt"] for n in sheets], folder)[0]
        for _ in range(rounds))
    kelvora_cpu = statistics.median(
        cpu_of([[kelvora, f"{n}.bmp", f"{n}.txt", "/dev/null"] for n in sheets], folder)[0]
        for _ in range(rounds))
    total = statistics.median(cpu for cpu, _ in with_check)
    plain = statistics.median(cpu for cpu, _ in without)
    wall = statistics.median(w for _, w in with_check)
    n = len(sheets)
    print(f"make -j2 over {n} sheets (examples/Makefile), medians of {rounds}: "
          f"{total / n * 1000:.2f} ms CPU a sheet ({plain / n * 1000:.2f} without the check), "
          f"{wall:.2f} s wall; kelvora {kelvora_cpu / n * 1000:.2f} ms a sheet "
          f"({kelvora_cpu / total * 100:.0f} % of the build's CPU), the check "
          f"{check_cpu / n * 1000:.2f} ms ({check_cpu / total * 100:.0f} %)", flush=True)
    return {"sheets": n, "build_cpu_s": total, "build_cpu_without_check_s": plain,
            "build_wall_s": wall, "kelvora_cpu_s": kelvora_cpu, "check_cpu_s": check_cpu,
            "kelvora_share": kelvora_cpu / total, "check_share": check_cpu / total}


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
    parser.add_argument("--preview", help="kelvora-preview, for the checker's rows")
    parser.add_argument("--dynamic-preview", help="kelvora-preview linked dynamically")
    parser.add_argument("--makefile", help="examples/Makefile, for the build row")
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
        results = {"kelvora": run_workloads(args, kelvora, floor)}
        if args.preview:
            preview = os.path.abspath(args.preview)
            results["checker"] = run_checker(args, kelvora, preview)
            results["million_records"] = run_million(args, kelvora, preview)
            if args.dynamic_preview:
                results["dynamic_linking"] = run_dynamic(
                    args, preview, os.path.abspath(args.dynamic_preview))
            if args.makefile:
                results["build"] = run_build(args, kelvora, preview, args.makefile)
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=2)


if __name__ == "__main__":
    main()
