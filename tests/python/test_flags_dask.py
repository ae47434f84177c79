"""Live-trace masks, replacing files, and volumes handed to blocked-array libraries."""

import os
import pickle
import subprocess

import numpy as np
import pytest

import tyq
from conftest import reference_array

SHAPE = (150, 70, 40)  # three brick columns along inline, two along crossline


def holed_mask(shape=SHAPE[:2]):
    """Dead traces scattered, in a block, and one whole 64 x 64 brick column dead."""
    live = np.random.default_rng(3).random(shape) > 0.1
    live[20:30, 5:17] = False
    live[64:128, 0:64] = False
    return live


def coarser(mask):
    """A trace of the level above is live when any of the traces it stands for is."""
    padded = np.pad(mask, [(0, n % 2) for n in mask.shape])
    return padded.reshape(padded.shape[0] // 2, 2, padded.shape[1] // 2, 2).any(axis=(1, 3))


def achieved_sqnr(x, y, live):
    x, y = x[live].astype(np.float64), y[live].astype(np.float64)
    return 20 * np.log10(np.abs(x).mean() / np.abs(x - y).mean())


@pytest.mark.parametrize("sqnr", [0, 30])
def test_live_mask_is_stored_at_every_level_and_only_live_traces_count(tmp_path, sqnr):
    array, live = reference_array(SHAPE), holed_mask()
    path = tmp_path / "v.vol"
    tyq.create(path, array, sqnr=sqnr, live=live.astype(np.uint8) * 7)  # any non-zero is live
    v = tyq.open(path)
    mask = live
    for level in range(v.levels):
        got = v.flags(level)
        assert got.dtype == np.bool_ and got.shape == v.level(level).shape[:2]
        np.testing.assert_array_equal(got, mask, err_msg=f"level {level}")
        mask = coarser(mask)
    stats, samples = v.statistics, array[live].astype(np.float64)
    assert stats["count"] == samples.size
    assert stats["sum"] == pytest.approx(samples.sum(), rel=1e-6, abs=1e-3)
    assert stats["min"] == samples.min() and stats["max"] == samples.max()
    assert v.histogram.sum() == samples.size
    if sqnr:
        assert achieved_sqnr(array, v[:], live) >= sqnr - 1.5
    else:
        np.testing.assert_array_equal(v[:][live], array[live])


def test_files_without_a_mask_read_all_live(tmp_path, reference):
    assert tyq.open(reference[0]).flags(1).all()
    with tyq.create_empty(tmp_path / "empty.vbs", (20, 30, 10)):
        pass  # nothing written: the file holds no flag tile at all
    flags = tyq.open(tmp_path / "empty.vbs").flags()
    assert flags.shape == (20, 30) and flags.all()
    with pytest.raises(tyq.Error):
        tyq.open(reference[0]).flags(99)


@pytest.mark.parametrize("mask", [np.ones((70, 44), bool), np.ones((70, 45, 1), bool),
                                  np.ones((70, 45)), np.ones(70 * 45, bool), True])
def test_masks_of_another_shape_or_type_are_refused(tmp_path, mask):
    with pytest.raises(ValueError, match=r"\(70, 45\)"):
        tyq.create(tmp_path / "v.vbs", reference_array(), live=mask)
    assert os.listdir(tmp_path) == []


def test_an_existing_file_is_replaced_only_when_asked_and_only_once_complete(tmp_path, reference):
    path = tmp_path / "v.vbs"
    old = np.ones((10, 10, 10), np.float32)
    tyq.create(path, old)
    before = path.read_bytes()
    with pytest.raises(FileExistsError, match="v.vbs") as raised:
        tyq.create(path, reference_array(), sqnr=20)
    assert raised.value.filename == str(path)
    # A failure while the new file is made leaves the old one as it was.
    with pytest.raises(tyq.Error):
        tyq.create(path, reference_array(), overwrite=True, annotation={"inline": (1, 0)})
    assert path.read_bytes() == before and os.listdir(tmp_path) == ["v.vbs"]
    for sqnr in (0, 30):
        tyq.create(path, reference_array(), sqnr=sqnr, overwrite=True)
        assert tyq.open(path).shape == reference_array().shape
    assert os.listdir(tmp_path) == ["v.vbs"]
    # Anything there counts: a dangling link, and a folder, which cannot be replaced.
    os.symlink(tmp_path / "nowhere", tmp_path / "link.vbs")
    with pytest.raises(FileExistsError):
        tyq.create(tmp_path / "link.vbs", old)
    (tmp_path / "dir.vbs").mkdir()
    with pytest.raises(OSError):
        tyq.create(tmp_path / "dir.vbs", old, overwrite=True)
    assert sorted(os.listdir(tmp_path)) == ["dir.vbs", "link.vbs", "v.vbs"]


def test_volumes_describe_what_reads_return_and_pickle_by_path(tmp_path):
    path = tmp_path / "v.vbs"
    array = reference_array((20, 30, 40))
    tyq.create(path, array, type="int16", brick=(16, 16, 16))
    v = tyq.open(path)
    assert (v.shape, v.ndim, v.dtype, v.stored_dtype) == ((20, 30, 40), 3, np.float32, np.int16)
    assert v[:1].dtype == v.dtype and v.level(1).dtype == v.dtype and v.level(1).ndim == 3
    again = pickle.loads(pickle.dumps(v))
    assert again.path == v.path and not again.writable
    np.testing.assert_array_equal(again[:], v[:])
    level = pickle.loads(pickle.dumps(v.level(1)))
    assert level.lod == 1
    np.testing.assert_array_equal(level[:], v.level(1)[:])
    with tyq.create_empty(tmp_path / "w.vbs", (4, 4, 4)) as w:
        with pytest.raises(TypeError, match="being written"):
            pickle.dumps(w)


def test_dask_arrays_over_volumes(reference):
    da = pytest.importorskip("dask.array")
    path, array = reference
    v = tyq.open(path)
    d = da.from_array(v, chunks=(32, 16, 50))
    assert d.shape == array.shape and d.dtype == np.float32
    np.testing.assert_array_equal(d.compute(), array)
    # Slices with steps reach the volume fused with the chunks' own.
    np.testing.assert_array_equal(d[5:60:3, 7, ::-2].compute(), array[5:60:3, 7, ::-2])
    assert float(d.mean(dtype=np.float64).compute()) == pytest.approx(array.mean(dtype=np.float64))
    # Worker processes get the volume by pickling.
    coarse = da.from_array(v.level(1), chunks=16)
    np.testing.assert_array_equal(coarse.compute(scheduler="processes"), v.level(1)[:])


@pytest.mark.parametrize("survey", ["f3_segyio.sgy", "volve10-migvel-depth-sub3d.sgy"])
def test_real_survey_with_dead_traces_round_trips_in_both_formats(tool, test_data, tmp_path,
                                                                  survey):
    imported = tmp_path / "imported.vbs"
    subprocess.run([str(tool), "import-segy", str(test_data / "segy" / survey), str(imported)],
                   check=True, capture_output=True)
    source = tyq.open(imported)
    samples = source[:]
    live = np.ones(source.shape[:2], bool)
    live[::5, 2::7] = False
    live[3:9, 4:11] = False
    samples[~live] = 0
    for sqnr in (0, 30):
        path = tmp_path / f"copy{sqnr}.vol"
        tyq.create(path, samples, sqnr=sqnr, live=live, annotation=source.annotation,
                   corners=source.corners)
        copy = tyq.open(path)
        assert copy.shape == source.shape and copy.annotation == source.annotation
        np.testing.assert_array_equal(copy.corners, source.corners)
        np.testing.assert_array_equal(copy.flags(), live)
        if sqnr:
            assert achieved_sqnr(samples, copy[:], live) >= sqnr - 1.5
        else:
            np.testing.assert_array_equal(copy[:], samples)
