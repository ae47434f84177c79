#!/usr/bin/env python3
"""Writing through the Python module against the C++ writer and h5py.

Makes a float32 array (512 x 512 x 256 by default) and times tyq.create of it
(uncompressed, with its levels of detail, statistics and histogram, made
durable), bench_python_write_peer making the same file from the same array in
C++, and h5py writing the array as a dataset of 64^3 chunks followed by fsync.
The three alternate for a few rounds and each keeps its best repetition: on a
machine shared with other work the least disturbed run is the steadiest
estimate. Every file is removed before it is written again, so no side pays
for releasing the previous one. Prints "ratio ... = R" lines: h5py time /
tyq.create time (the target is at least 0.8) and C++ time / tyq.create time
(at least 0.9). Without h5py its line is left out, with a message.

Usage: python_write_bench.py --peer PATH/bench_python_write_peer [--small] [--rounds N]
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

try:
    import h5py
except ImportError:  # a benchmark-only dependency
    h5py = None


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--peer", required=True, help="the bench_python_write_peer program")
    parser.add_argument("--small", action="store_true", help="a tiny volume: a smoke run")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--repetitions", type=int, default=3)
    return parser.parse_args()


def remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def best_of(repetitions, path, write):
    """The least real time of `repetitions` writes of a new file at `path`."""
    best = float("inf")
    for _ in range(repetitions):
        remove(path)
        began = time.perf_counter()
        write(path)
        best = min(best, time.perf_counter() - began)
    return best


def write_tyq(array):
    return lambda path: tyq.create(path, array)


def write_h5py(array):
    def write(path):
        with h5py.File(path, "w") as f:
            f.create_dataset("cube", data=array, chunks=tuple(min(64, n) for n in array.shape))
        # fsync reaches the file's pages through any descriptor of it.
        fd = os.open(path, os.O_RDONLY)
        try:
            os.fsync(fd)
        finally:
            os.close(fd)

    return write


def time_cpp(peer, array_file, shape, repetitions, folder):
    out = os.path.join(folder, "peer.json")
    env = dict(os.environ, TYQ_PEER_ARRAY=array_file, TYQ_PEER_SHAPE=" ".join(map(str, shape)),
               TYQ_PEER_OUT=folder)
    done = subprocess.run([peer, f"--benchmark_repetitions={repetitions}",
                           f"--benchmark_out={out}", "--benchmark_out_format=json"],
                          env=env, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{peer} failed:\n{done.stderr}")
    with open(out) as f:
        runs = json.load(f)["benchmarks"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    times = [r["real_time"] * scale[r["time_unit"]] for r in runs
             if r["run_type"] == "iteration"]
    if not times:
        sys.exit(f"{peer} reported no run:\n{done.stdout}")
    return min(times)


def main():
    args = parse_args()
    shape = (64, 64, 32) if args.small else (512, 512, 256)
    rounds, repetitions = (1, 1) if args.small else (args.rounds, args.repetitions)
    array = np.random.default_rng(5).standard_normal(shape, dtype=np.float32)
    best = {}
    with tempfile.TemporaryDirectory(prefix="tyq-pywrite-") as folder:
        array_file = os.path.join(folder, "array.f32")
        array.tofile(array_file)
        writers = {"tyq.create": (os.path.join(folder, "bench.vbs"), write_tyq(array))}
        if h5py is not None:
            writers["h5py"] = (os.path.join(folder, "bench.h5"), write_h5py(array))
        for _ in range(rounds):
            cpp = time_cpp(args.peer, array_file, shape, repetitions, folder)
            best["c++ writer"] = min(best.get("c++ writer", cpp), cpp)
            for name, (path, write) in writers.items():
                spent = best_of(repetitions, path, write)
                best[name] = min(best.get(name, spent), spent)
    print(f"array {shape[0]} x {shape[1]} x {shape[2]} float32, "
          f"{array.nbytes / 2**20:.0f} MiB, best of {rounds} x {repetitions}")
    for name, spent in best.items():
        print(f"{name:12} {spent * 1e3:10.1f} ms")
    mine = best["tyq.create"]
    print(f"ratio create c++ writer / tyq.create time = {best['c++ writer'] / mine:.3f}")
    if h5py is None:
        print("h5py is not installed: no h5py line")
    else:
        print(f"ratio create h5py / tyq.create time = {best['h5py'] / mine:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
