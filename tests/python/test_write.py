"""Writing: round trips of every dtype and layout, value ranges, metadata, create_empty."""

import numpy as np
import pytest

import tyq

from conftest import reference_array

INTEGER_TYPES = ["int8", "uint8", "int16", "uint16", "int32", "uint32"]
EXACT_TYPES = INTEGER_TYPES[:4]


def integers(dtype, shape=(33, 20, 70), seed=1):
    info = np.iinfo(dtype)
    # float32 carries integers exactly up to 2**24, which the reads return.
    lo, hi = max(info.min, -(2**24)), min(info.max, 2**24)
    return np.random.default_rng(seed).integers(lo, hi, shape, endpoint=True).astype(dtype)


@pytest.mark.parametrize("dtype", INTEGER_TYPES)
def test_integer_arrays_round_trip_in_their_own_type(tmp_path, dtype):
    array = integers(dtype)
    path = tmp_path / "v.vbs"
    tyq.create(path, array, type=dtype, brick=(16, 16, 16))
    v = tyq.open(path)
    # dtype is what reads return; the stored type is told apart.
    assert v.stored_dtype == np.dtype(dtype) and v.sample_type == dtype
    assert v.dtype == np.float32 and v[:2].dtype == v.dtype
    if dtype in EXACT_TYPES:
        np.testing.assert_array_equal(v[:], array.astype(np.float64))
        assert v.statistics["min"] == array.min() and v.statistics["max"] == array.max()
    else:
        # 32-bit codes pass through float32: a few units in 2**24 of the range.
        span = float(array.max()) - float(array.min())
        np.testing.assert_allclose(v[:], array.astype(np.float64), atol=span * 2.0**-21)
    assert v.statistics["count"] == array.size


@pytest.mark.parametrize("dtype", INTEGER_TYPES + ["float16", "float32", "float64"])
def test_any_numeric_array_round_trips_through_a_float_file(tmp_path, dtype):
    array = integers(dtype) if dtype in INTEGER_TYPES else reference_array((33, 20, 70)).astype(dtype)
    path = tmp_path / "v.vbs"
    tyq.create(path, array)
    v = tyq.open(path)
    assert v.dtype == np.float32
    np.testing.assert_array_equal(v[:], array.astype(np.float32))


@pytest.mark.parametrize("layout", ["fortran", "strided", "transposed", "big-endian"])
def test_any_memory_order_is_written_as_its_values(tmp_path, layout):
    base = reference_array((40, 30, 50))
    array = {
        "fortran": np.asfortranarray(base),
        "strided": np.repeat(base, 2, axis=1)[:, ::2, :],
        "transposed": np.ascontiguousarray(base.transpose(2, 1, 0)).transpose(2, 1, 0),
        "big-endian": base.astype(">f4"),
    }[layout]
    path = tmp_path / "v.vbs"
    tyq.create(path, array)
    np.testing.assert_array_equal(tyq.open(path)[:], base)


def unaligned_fortran(array):
    raw = np.frombuffer(b"\0" + array.tobytes(order="F"), array.dtype, array.size, offset=1)
    return raw.reshape(array.shape, order="F")


# Floats in any order are copied to C-ordered float32, in cubes or, when the
# last axis is in order, in runs; the edges of a 37 x 45 x 53 array cut every
# cube short.
@pytest.mark.parametrize("layout", ["fortran64", "reversed", "transposed64", "unaligned",
                                    "broadcast", "float64", "stepped"])
def test_float_arrays_in_any_order_are_written_as_their_values(tmp_path, layout):
    base = reference_array((37, 45, 53))
    array = {
        "fortran64": np.asfortranarray(base.astype(np.float64)),
        "reversed": base[::-1, :, ::-1].copy()[::-1, :, ::-1],
        "transposed64": np.ascontiguousarray(base.astype(np.float64).transpose(1, 2, 0))
        .transpose(2, 0, 1),
        "unaligned": unaligned_fortran(base),
        "broadcast": np.broadcast_to(base[:, :1, :], base.shape),
        "float64": base.astype(np.float64),
        "stepped": np.repeat(base, 3, axis=1)[:, ::3],
    }[layout]
    path = tmp_path / "v.vbs"
    # A given range: no copy made for the array's own range, whose freed
    # memory could hand the right samples to a faulty copy.
    tyq.create(path, array, value_range=(-1000, 1000))
    np.testing.assert_array_equal(tyq.open(path)[:], array.astype(np.float32))


def test_value_range_codes_an_integer_file(tmp_path):
    array = np.linspace(-1, 1, 20 * 10 * 30, dtype=np.float32).reshape(20, 10, 30)
    path = tmp_path / "v.vbs"
    tyq.create(path, array, type="int16", value_range=(-2, 2))
    v = tyq.open(path)
    assert v.value_range == (-2, 2) and v.stored_dtype == np.int16
    np.testing.assert_allclose(v[:], array, atol=4 / 65535)
    # Without a range, a float array's own range is coded.
    tyq.create(path, array, type="uint8", overwrite=True)
    assert tyq.open(path).value_range == pytest.approx((-1, 1))
    np.testing.assert_allclose(tyq.open(path)[:], array, atol=2 / 255)


def with_values(shape, dtype, places):
    array = (reference_array(shape) / 1000).astype(dtype)  # within (-1, 1)
    for index, value in places.items():
        array.flat[index] = value
    return array


# The extremes sit in the first vector lanes, the middle and the tail left
# over after the last full lane block (3 * 5 * 7 = 105 samples).
@pytest.mark.parametrize("array", [
    with_values((3, 5, 7), np.float32, {0: -9, 104: 11, 50: np.nan}),
    with_values((3, 5, 7), np.float32, {0: np.nan, 1: np.inf, 103: -np.inf, 104: -9, 33: 11}),
    with_values((3, 5, 7), np.float64, {2: -np.inf, 100: -9, 101: 11, 102: np.nan}),
    with_values((40, 30, 50), np.float32, {59999: 11, 7: np.inf, 8: -9, 9: np.nan}),
    with_values((40, 30, 50), np.float64, {0: 11, 59998: -9, 59999: np.nan}),
    np.asfortranarray(with_values((40, 30, 50), np.float32, {5: -9, 6: 11, 7: np.inf})),
    with_values((40, 30, 50), ">f4", {5: np.nan, 6: -9, 7: 11}),
    # 20 lies in a row the step skips.
    with_values((40, 60, 50), np.float32, {5: np.nan, 6: -9, 57: 20, 207: 11, 8: np.inf})[:, ::2],
], ids=["tail", "infinities", "float64", "large", "large-float64", "fortran", "big-endian",
        "strided"])
def test_coded_range_is_the_finite_minimum_to_maximum(tmp_path, array):
    path = tmp_path / "v.vbs"
    tyq.create(path, array, type="int16")
    assert tyq.open(path).value_range == (-9, 11)


@pytest.mark.parametrize("values, coded", [
    ([np.nan, np.nan], (0, 1)), ([np.inf, -np.inf, np.nan], (0, 1)), ([2.5], (2.5, 3.5)),
], ids=["nan", "infinite", "constant"])
def test_coded_range_without_width_is_widened(tmp_path, values, coded):
    path = tmp_path / "v.vbs"
    array = np.resize(np.array(values, np.float32), (6, 7, 9))
    tyq.create(path, array, type="uint8")
    assert tyq.open(path).value_range == coded


def test_annotation_and_corners_round_trip(tmp_path):
    annotation = {"inline": (2000, -1), "crossline": (7, 3), "vertical": (100, 2.5),
                  "vertical_domain": "depth", "vertical_unit": ("ft", 0.3048),
                  "horizontal_domain": "length", "horizontal_unit": ("m", 1.0),
                  "coordinate_system": "grid 31"}
    # A parallelogram: the file keeps three corners and derives the fourth.
    corners = [[500000.5, 6000000.25], [501000, 6000000], [500000, 6002000],
               [500999.5, 6001999.75]]
    path = tmp_path / "v.vbs"
    tyq.create(path, np.zeros((4, 5, 6), np.float32), annotation=annotation, corners=corners)
    v = tyq.open(path)
    assert v.annotation == annotation
    np.testing.assert_allclose(v.corners, corners, rtol=1e-12)
    tyq.create(path, np.zeros((4, 5, 6), np.float32), annotation=v.annotation, corners=v.corners,
               overwrite=True)
    assert tyq.open(path).annotation == annotation


def test_create_empty_fills_by_slice_assignment(tmp_path):
    path = tmp_path / "v.vbs"
    want = np.zeros((50, 40, 70), np.float32)
    with tyq.create_empty(path, want.shape, brick=(16, 16, 16)) as v:
        assert v.writable and v.shape == want.shape
        for key, block in ((np.s_[:], 2.5),                          # scalar broadcast
                           (np.s_[3:20, -5:, 10:60], reference_array((17, 5, 50))),
                           (np.s_[7, :, 3], np.arange(40)),           # integer axes dropped
                           (np.s_[30:45, 2, :], np.arange(70, dtype=np.int16)),  # row broadcast
                           (np.s_[-1], np.full((40, 70), -7, np.int8)),
                           (np.s_[10:10], np.ones((0, 40, 70)))):    # empty box
            v[key] = block
            want[key] = block
        np.testing.assert_array_equal(v[3:20, -5:, 10:60], want[3:20, -5:, 10:60])
    assert v.closed
    r = tyq.open(path)
    np.testing.assert_array_equal(r[:], want)
    assert r.statistics["count"] == want.size
    assert r.statistics["min"] == want.min() and r.statistics["max"] == want.max()
    assert r.histogram.sum() == want.size
    # The pyramid was built at close: the coarsest level is not all zeros.
    assert np.abs(r.level(r.levels - 1)[:]).max() > 0


def test_create_empty_integer_file_keeps_integer_values(tmp_path):
    path = tmp_path / "v.vbs"
    v = tyq.create_empty(path, (20, 20, 20), type="int16")
    v[:] = integers(np.int16, (20, 20, 20))
    v[3:5, 3:5, 3:5] = -1  # a partial brick keeps its other samples
    v.close()
    want = integers(np.int16, (20, 20, 20))
    want[3:5, 3:5, 3:5] = -1
    np.testing.assert_array_equal(tyq.open(path)[:], want)
    with pytest.raises(tyq.Error) as raised:
        tyq.create_empty(path, (20, 20, 20), type="int32")
    assert raised.value.code == 3 and "value_range" in raised.value.message


def test_volume_dropped_without_close_is_still_finished(tmp_path):
    path = tmp_path / "v.vbs"
    v = tyq.create_empty(path, (10, 10, 10))
    v[:] = 3
    del v
    np.testing.assert_array_equal(tyq.open(path)[:], np.full((10, 10, 10), 3, np.float32))


def smooth(shape):
    i, j, k = np.meshgrid(*(np.arange(n, dtype=np.float64) for n in shape), indexing="ij")
    return 500 * np.sin(0.3 * (k - 0.2 * i - 0.1 * j)) + 3 * i


def sqnr_db(want, got):
    return 20 * np.log10(np.abs(want).mean() / np.abs(want - got).mean())


def block_mean(array, n):
    s = [d // n * n for d in array.shape]
    a = array[: s[0], : s[1], : s[2]]
    return a.reshape(s[0] // n, n, s[1] // n, n, s[2] // n, n).mean(axis=(1, 3, 5))


def test_compressed_file_is_written_with_every_level(tmp_path):
    # int16 in Fortran order: converted and reordered on the way in.
    array = np.asfortranarray(smooth((130, 70, 66)).astype(np.int16))
    path = tmp_path / "v.vcs"
    tyq.create(path, array, sqnr=30, annotation={"inline": (1000, 2)})
    v = tyq.open(path)
    assert v.sqnr == 30 and v.shape == array.shape and v.levels == 3
    assert v.annotation["inline"] == (1000, 2)
    assert v.value_range == pytest.approx((array.min(), array.max()))
    assert 28 < sqnr_db(array.astype(np.float64), v[:]) < 45
    assert v.level(1).shape == (65, 35, 33) and v.level(2).shape == (33, 18, 17)
    # Every level holds the data, not zeros: close to plain block means.
    for level in (1, 2):
        coarse = v.level(level)[:]
        want = block_mean(array.astype(np.float64), 2**level)
        assert sqnr_db(want, coarse[tuple(slice(0, n) for n in want.shape)]) > 12


def test_compressed_files_take_float_samples_in_64_bricks_written_whole(tmp_path):
    path = tmp_path / "v.vcs"
    zeros = np.zeros((4, 4, 4), np.float32)
    for options in ({"type": "int16"}, {"brick": (32, 32, 32)}):
        with pytest.raises(tyq.Error) as raised:
            tyq.create(path, zeros, sqnr=30, **options)
        assert raised.value.code == 3
    with pytest.raises(tyq.Error) as raised:
        tyq.create_empty(path, (4, 4, 4), sqnr=30)
    assert raised.value.code == 2 and "tyq.create" in raised.value.message
    assert not path.exists()
    with pytest.raises(tyq.Error):
        tyq.create(tmp_path / "no" / "such.vcs", zeros, sqnr=30)
    tyq.create(path, zeros, sqnr=0)
    assert tyq.open(path).sqnr is None
