#!/usr/bin/env python3
"""Reading through the Python module against the same reads from C++.

Writes a float volume (512 x 512 x 256 by default) with the module, then times
reading it whole and reading 200 random 64^3 boxes, each read into a new numpy
array ("new") or into one array made beforehand with read(out=...) ("out"),
and runs bench_python_peer on the same file and boxes for the C++ figures
(into a new buffer per read, allocated as numpy allocates, or one reused
buffer). The two sides alternate for a few rounds, and each keeps its best
repetition: on a machine shared with other work the least disturbed run is
the steadiest estimate. Prints "ratio ... = R" lines, R being C++ time / Python time (1 means
as fast as C++; the target is at least 0.9).

Usage: python_read_bench.py --peer PATH/bench_python_peer [--small] [--rounds N]
The module must be importable (PYTHONPATH pointing at the build's python/module).
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import tyq


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--peer", required=True, help="the bench_python_peer program")
    parser.add_argument("--small", action="store_true", help="a tiny volume: a smoke run")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--repetitions", type=int, default=5)
    return parser.parse_args()


def make_volume(folder, shape, box, count):
    path = os.path.join(folder, "bench.vbs")
    rng = np.random.default_rng(11)
    tyq.create(path, rng.standard_normal(shape, dtype=np.float32))
    starts = [[int(rng.integers(0, n - box + 1)) for n in shape] for _ in range(count)]
    boxes = os.path.join(folder, "boxes.txt")
    with open(boxes, "w") as out:
        for s in starts:
            out.write(f"{s[0]} {s[1]} {s[2]} {box} {box} {box}\n")
    return path, [(s, (box, box, box)) for s in starts]


def python_workloads(volume, boxes):
    whole = np.empty(volume.shape, np.float32)
    box = np.empty(boxes[0][1], np.float32)

    def boxes_new():
        for start, size in boxes:  # each array is dropped at once, as C++ frees its buffer
            volume.read(start, size)

    def boxes_out():
        for start, size in boxes:
            volume.read(start, size, out=box)

    return {
        "whole/new": lambda: volume[:, :, :],
        "boxes/new": boxes_new,
        "whole/out": lambda: volume.read((0, 0, 0), volume.shape, out=whole),
        "boxes/out": boxes_out,
    }


def time_python(volume, boxes, repetitions, min_time):
    """Per workload, the best over repetitions of the mean real and CPU time per
    iteration, in seconds."""
    # As bench_python_peer does: a freed 16 MiB block raises glibc's mmap
    # threshold, so the library's per-read brick buffer is not mapped afresh.
    np.ones(16 << 20, np.uint8)  # made and freed at once
    result = {}
    for name, work in python_workloads(volume, boxes).items():
        work()  # warm the page cache and the allocator
        real, cpu = [], []
        for _ in range(repetitions):
            iterations = 0
            began, began_cpu = time.perf_counter(), time.process_time()
            while True:
                work()
                iterations += 1
                spent = time.perf_counter() - began
                if spent >= min_time:
                    break
            real.append(spent / iterations)
            cpu.append((time.process_time() - began_cpu) / iterations)
        result[name] = (min(real), min(cpu))
    return result


def time_cpp(peer, path, boxes_file, repetitions, min_time, folder):
    out = os.path.join(folder, "peer.json")
    env = dict(os.environ, TYQ_PEER_VOLUME=path, TYQ_PEER_BOXES=boxes_file)
    done = subprocess.run([peer, f"--benchmark_repetitions={repetitions}",
                           f"--benchmark_min_time={min_time}", f"--benchmark_out={out}",
                           "--benchmark_out_format=json"],
                          env=env, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{peer} failed:\n{done.stderr}")
    with open(out) as f:
        runs = json.load(f)["benchmarks"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    result = {}
    for r in runs:
        if r["run_type"] != "iteration":
            continue
        name = r["run_name"].removesuffix("/real_time")
        unit = scale[r["time_unit"]]
        real, cpu = result.get(name, (float("inf"), float("inf")))
        result[name] = (min(real, r["real_time"] * unit), min(cpu, r["cpu_time"] * unit))
    return result


def main():
    args = parse_args()
    shape, box, count = ((64, 64, 32), 16, 10) if args.small else ((512, 512, 256), 64, 200)
    rounds, repetitions = (1, 1) if args.small else (args.rounds, args.repetitions)
    min_time = 0.01 if args.small else 0.5
    with tempfile.TemporaryDirectory(prefix="tyq-pybench-") as folder:
        path, boxes = make_volume(folder, shape, box, count)
        volume = tyq.open(path)
        best_py, best_cpp = {}, {}
        for _ in range(rounds):
            cpp = time_cpp(args.peer, path, os.path.join(folder, "boxes.txt"), repetitions,
                           min_time, folder)
            py = time_python(volume, boxes, repetitions, min_time)
            for best, times in ((best_cpp, cpp), (best_py, py)):
                for k, (real, cpu) in times.items():
                    old = best.get(k, (real, cpu))
                    best[k] = (min(real, old[0]), min(cpu, old[1]))
        volume.close()
    print(f"volume {shape[0]} x {shape[1]} x {shape[2]} float, {count} boxes of {box}^3")
    print(f"{'workload':12} {'python ms':>10} {'c++ ms':>10} {'python cpu ms':>14} {'c++ cpu ms':>11}")
    pairs = (("whole/new", "whole/fresh"), ("boxes/new", "boxes/fresh"),
             ("whole/out", "whole/reused"), ("boxes/out", "boxes/reused"))
    for py, cpp in pairs:
        (pr, pc), (cr, cc) = best_py[py], best_cpp[cpp]
        print(f"{py:12} {pr * 1e3:10.2f} {cr * 1e3:10.2f} {pc * 1e3:14.2f} {cc * 1e3:11.2f}")
    # CPU time is the steadier figure on a machine shared with other work.
    for py, cpp in pairs:
        (pr, pc), (cr, cc) = best_py[py], best_cpp[cpp]
        print(f"ratio {py:12} c++ {cpp} / python time = {cr / pr:.3f} (cpu time {cc / pc:.3f})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
