"""Reading: metadata, numpy slicing semantics, typed reads, levels, survey numbers, threads."""

import threading

import numpy as np
import pytest

import tyq

from conftest import BRICK, SHAPE


def test_metadata_describes_the_written_volume(reference):
    path, array = reference
    v = tyq.open(path)
    assert v.shape == SHAPE
    assert v.dtype == np.float32 and v.sample_type == "float"
    assert v.brick_shape == BRICK
    # 5 x 3 x 7 bricks: the largest count 7 needs 1 + ceil(log2 7) levels.
    assert v.levels == 4
    assert v.sqnr is None
    assert v.value_range == pytest.approx((array.min(), array.max()))
    a = v.annotation
    assert a["inline"] == (1000, 2) and a["crossline"] == (20, 1) and a["vertical"] == (0, 4)
    assert a["vertical_domain"] == "time" and a["vertical_unit"] == ("ms", pytest.approx(0.001))
    s = v.statistics
    assert s["count"] == array.size
    assert s["min"] == pytest.approx(array.min()) and s["max"] == pytest.approx(array.max())
    assert s["mean"] == pytest.approx(array.mean(dtype=np.float64), abs=1e-3)
    assert s["std"] == pytest.approx(array.std(dtype=np.float64), rel=1e-4)
    assert v.histogram.dtype == np.int64 and v.histogram.shape == (256,)
    assert v.histogram.sum() == array.size
    assert v.corners.shape == (4, 2)
    assert not v.writable and not v.closed


KEYS = [
    np.s_[:],
    np.s_[...],
    np.s_[5],
    np.s_[-1],
    np.s_[-70],
    np.s_[3:17, 40:, :9],
    np.s_[-10:-2, -45:-44, 99],
    np.s_[2, -3, -1],
    np.s_[..., 50],
    np.s_[1, ..., 2:4],
    np.s_[10:5],            # empty: stop before start
    np.s_[:, 45:, :],       # empty: start at the end
    np.s_[:, :, 0:0],
    np.s_[60:200, -500:3],  # slices clip like numpy's
    np.s_[np.int64(4), np.int32(-2)],
    np.s_[15:49, 0:16, 32:64],  # whole bricks
]


@pytest.mark.parametrize("key", KEYS, ids=[repr(k) for k in KEYS])
def test_slicing_matches_numpy(reference, key):
    path, array = reference
    got = tyq.open(path)[key]
    want = array[key]
    assert got.shape == want.shape
    assert got.dtype == np.float32 and got.flags["C_CONTIGUOUS"]
    np.testing.assert_array_equal(got, want)


STEPPED = [np.s_[::2], np.s_[:, ::-1], np.s_[:, :, 1:9:3], np.s_[60:2:-3, -1:0:-4, ::-1],
           np.s_[5:1:-2, 3, ::7], np.s_[::-100], np.s_[3:3:-1], np.s_[::1000],
           np.s_[:, ::2, 5:6:-3], np.s_[1:69:20, 2:40:5]]


@pytest.mark.parametrize("key", STEPPED, ids=[repr(k) for k in STEPPED])
def test_steps_other_than_one_read_like_numpy_and_cannot_write(reference, tmp_path, key):
    path, array = reference
    got = tyq.open(path)[key]
    assert got.flags["C_CONTIGUOUS"] and got.shape == array[key].shape
    np.testing.assert_array_equal(got, array[key])
    with tyq.create_empty(tmp_path / "stepped.vbs", array.shape) as v:
        with pytest.raises(IndexError, match="step 1"):
            v[key] = 0


@pytest.mark.parametrize("key", [np.s_[70], np.s_[-71], np.s_[0, 45], np.s_[0, 0, 0, 0],
                                 np.s_[..., ...], np.s_[None], np.s_[[1, 2]], np.s_[True],
                                 np.s_[1.5]])
def test_bad_indices_raise_index_error(reference, key):
    with pytest.raises(IndexError):
        tyq.open(reference[0])[key]


def test_typed_reads_scale_the_value_range_onto_the_integers(reference):
    path, array = reference
    v = tyq.open(path)
    lo, hi = v.value_range
    box = ((3, 4, 5), (20, 11, 30))
    f = v.read(*box)
    np.testing.assert_array_equal(f, array[3:23, 4:15, 5:35])
    for dtype, bits in ((np.int16, 16), (np.int8, 8)):
        codes = v.read(*box, dtype=dtype)
        assert codes.dtype == dtype and codes.shape == (20, 11, 30)
        step = (hi - lo) / (2**bits - 1)
        back = lo + (codes.astype(np.float64) + 2 ** (bits - 1)) * step
        np.testing.assert_allclose(back, f, atol=step)


def test_levels_are_views_of_the_pyramid(reference):
    path, array = reference
    v = tyq.open(path)
    assert [v.level(n).shape for n in range(v.levels)] == [
        (70, 45, 100), (35, 23, 50), (18, 12, 25), (9, 6, 13)]
    one = v.level(1)
    np.testing.assert_array_equal(one[:], v.read((0, 0, 0), one.shape, lod=1))
    np.testing.assert_array_equal(one[-3:, 2, :7], one[:][-3:, 2, :7])
    np.testing.assert_array_equal(np.asarray(one), one[:])
    np.testing.assert_array_equal(v.level(0)[4:9], array[4:9])
    assert np.abs(one[:]).max() > 0  # the pyramid was built
    with pytest.raises(tyq.Error) as raised:
        v.level(v.levels)
    assert raised.value.code == 3


def test_survey_numbers_address_slices(reference):
    path, array = reference
    v = tyq.open(path)
    np.testing.assert_array_equal(v.inline(1000), array[0])
    np.testing.assert_array_equal(v.inline(1138), array[69])
    np.testing.assert_array_equal(v.crossline(31), array[:, 11, :])
    np.testing.assert_array_equal(v.time(396), array[:, :, 99])
    for call, number in ((v.inline, 1001), (v.inline, 998), (v.inline, 1140),
                         (v.crossline, 65), (v.time, 2), (v.time, -4)):
        with pytest.raises(tyq.Error) as raised:
            call(number)
        assert raised.value.code == 3 and "not in the survey" in raised.value.message


def test_two_threads_read_one_volume_at_once(reference):
    path, array = reference
    v = tyq.open(path)
    failures = []
    rng = np.random.default_rng(3)
    boxes = [tuple(int(rng.integers(0, n - 16)) for n in SHAPE) for _ in range(60)]

    def reader(offset):
        try:
            for i, j, k in boxes[offset::2]:
                got = v[i:i + 16, j:j + 16, k:k + 16]
                if not np.array_equal(got, array[i:i + 16, j:j + 16, k:k + 16]):
                    failures.append((i, j, k))
            if not np.array_equal(v[:], array):
                failures.append("whole")
        except Exception as e:  # noqa: BLE001 - reported below
            failures.append(e)

    threads = [threading.Thread(target=reader, args=(n,)) for n in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


def test_numpy_reads_the_whole_volume(reference):
    path, array = reference
    v = tyq.open(path)
    np.testing.assert_array_equal(np.asarray(v), array)
    assert np.asarray(v, dtype=np.float64).dtype == np.float64
    assert "70 x 45 x 100 float" in repr(v)


def test_reads_into_an_existing_array(reference):
    path, array = reference
    v = tyq.open(path)
    out = np.full((5, 6, 7), -1, np.float32)
    assert v.read((1, 2, 3), (5, 6, 7), out=out) is out
    np.testing.assert_array_equal(out, array[1:6, 2:8, 3:10])
    codes = np.empty((5, 6, 7), np.int16)
    v.read((1, 2, 3), (5, 6, 7), out=codes)
    np.testing.assert_array_equal(codes, v.read((1, 2, 3), (5, 6, 7), dtype=np.int16))
    np.testing.assert_array_equal(v.level(1).read((0, 0, 0), (5, 6, 7), out=out),
                                  v.level(1)[:5, :6, :7])
    for bad in (np.empty((5, 6, 8), np.float32), np.empty((5, 6, 7), np.float64),
                np.empty((5, 7, 6), np.float32).transpose(0, 2, 1), [0.0] * 210,
                np.broadcast_to(np.float32(0), (5, 6, 7))):
        with pytest.raises(tyq.Error) as raised:
            v.read((1, 2, 3), (5, 6, 7), out=bad)
        assert raised.value.code == 3
