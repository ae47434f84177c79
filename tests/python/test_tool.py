"""Files written from Python read by the tyq tool, and the other way round."""

import subprocess

import numpy as np

import tyq

from conftest import reference_array


def run(tool, *args):
    done = subprocess.run([str(tool), *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_tool_reads_what_python_wrote(tool, tmp_path):
    array = reference_array((30, 20, 40))
    path = tmp_path / "py.vbs"
    tyq.create(path, array, annotation={"inline": (500, 5)}, brick=(16, 16, 16))
    out = tmp_path / "box.npy"
    run(tool, "read", path, "--lod", 0, "--start", "2,3,4", "--size", "20,10,30", "-o", out)
    np.testing.assert_array_equal(np.load(out), array[2:22, 3:13, 4:34])
    info = run(tool, "info", path)
    assert "Size          30 x 20 x 40" in info and "start 500, increment 5" in info
    v = tyq.open(path)
    coarse = tmp_path / "coarse.npy"
    run(tool, "read", path, "--lod", 1, "--start", "0,0,0", "--size", "15,10,20", "-o", coarse)
    np.testing.assert_array_equal(np.load(coarse), v.level(1)[:])


def test_python_reads_what_the_tool_wrote(tool, tmp_path):
    array = np.random.default_rng(5).integers(-32768, 32767, (25, 30, 35)).astype(np.int16)
    source = tmp_path / "in.npy"
    np.save(source, array)
    path = tmp_path / "tool.vbs"
    run(tool, "create", path, "--from", source, "--type", "int16", "--range", "-32768,32767",
        "--brick", "16,16,16")
    v = tyq.open(path)
    assert v.stored_dtype == np.int16 and v.brick_shape == (16, 16, 16) and v.shape == array.shape
    np.testing.assert_array_equal(v[:], array.astype(np.float32))
    np.testing.assert_array_equal(v.read((0, 0, 0), array.shape, dtype=np.int16), array)


def test_synthetic_volume_reads_as_the_tool_reads_it(tool, examples, tmp_path):
    path = examples / "demo_synthetic.txt"
    v = tyq.open(path)
    assert v.shape == (384, 320, 256) and v.levels >= 1
    out = tmp_path / "slab.npy"
    run(tool, "read", path, "--lod", 0, "--start", "100,7,0", "--size", "3,50,256", "-o", out)
    np.testing.assert_array_equal(v[100:103, 7:57, :], np.load(out))


def test_compressed_file_reads_as_the_tool_reads_it(tool, tmp_path):
    # The compressed format stores inline fastest; reads must still come back
    # in numpy's order.
    array = reference_array((40, 30, 70))
    source = tmp_path / "in.npy"
    np.save(source, array)
    path = tmp_path / "tool.vcs"
    run(tool, "create", path, "--from", source, "--sqnr", 30)
    v = tyq.open(path)
    assert v.sqnr == 30 and v.shape == array.shape
    out = tmp_path / "box.npy"
    run(tool, "read", path, "--lod", 0, "--start", "0,0,0", "--size", "40,30,70", "-o", out)
    np.testing.assert_array_equal(v[:], np.load(out))
    error = np.abs(v[:] - array).mean()
    assert 20 * np.log10(np.abs(array).mean() / error) > 25
