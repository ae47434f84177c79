"""Every failure arrives as a Python exception carrying the library's code, never a crash."""

import pickle

import numpy as np
import pytest

import tyq

INVALID_ARGUMENT, NOT_OPEN, READ_ONLY, OPEN_FAILED, UNKNOWN_TYPE = 3, 12, 13, 7, 8


def raises_code(code, call, *args, **kwargs):
    with pytest.raises(tyq.Error) as raised:
        call(*args, **kwargs)
    assert raised.value.code == code, raised.value.message
    assert str(raised.value) == raised.value.message
    return raised.value


def test_missing_files_and_folders(tmp_path):
    error = raises_code(OPEN_FAILED, tyq.open, tmp_path / "absent.vbs")
    assert "absent.vbs" in error.message and "CreateTyqReader" in error.message
    raises_code(OPEN_FAILED, tyq.open, tmp_path)
    e = raises_code(6, tyq.create, tmp_path / "no" / "dir.vbs", np.zeros((2, 2, 2)))
    assert e.code == 6  # unable to create new file


def test_error_survives_pickling():
    e = pickle.loads(pickle.dumps(tyq.Error("broken", 14)))
    assert (e.code, e.message) == (14, "broken")
    assert issubclass(tyq.Error, Exception)


READ_FAILED, VERSION_TOO_NEW = 14, 10


def test_damaged_files_raise_errors_with_codes(reference, tmp_path):
    data = reference[0].read_bytes()
    cases = {  # content, expected code
        "empty": (b"", READ_FAILED),
        "text": (b"not a volume at all\n" * 10, UNKNOWN_TYPE),
        "short-magic": (data[:3], READ_FAILED),
        "header-only": (data[:64], READ_FAILED),
        "truncated": (data[: len(data) // 3], READ_FAILED),  # fails on reading the samples
        "wrong-version": (data[:4] + b"\x63\x00\x00\x00" + data[8:], VERSION_TOO_NEW),
    }
    for name, (content, code) in cases.items():
        path = tmp_path / (name + ".vbs")
        path.write_bytes(content)
        with pytest.raises(tyq.Error) as raised:
            v = tyq.open(path)
            v[:]
        assert raised.value.code == code, (name, raised.value.message)


def test_hostile_strings_in_a_file_are_readable(test_data):
    v = tyq.open(test_data / "damaged" / "hostile_strings.vbs")
    annotation = v.annotation  # invalid UTF-8 comes back replaced, not as a decode error
    assert isinstance(annotation["vertical_unit"][0], str)
    assert isinstance(annotation["coordinate_system"], str)
    v[:]


def test_boxes_outside_the_volume(reference):
    v = tyq.open(reference[0])
    for start, size, lod in (((0, 0, 0), (71, 1, 1), 0), ((-1, 0, 0), (1, 1, 1), 0),
                             ((69, 44, 99), (1, 1, 2), 0), ((0, 0, 0), (36, 1, 1), 1),
                             ((0, 0, 0), (1, -1, 1), 0), ((0, 0, 0), (1, 1, 1), 9),
                             ((2**40, 0, 0), (1, 1, 1), 0)):
        raises_code(INVALID_ARGUMENT, v.read, start, size, lod=lod)
    assert v.read((69, 44, 99), (1, 1, 0)).shape == (1, 1, 0)


def test_wrong_dtypes(reference, tmp_path):
    v = tyq.open(reference[0])
    for dtype in (np.uint8, np.float64, np.int32, ">f4", "no such type"):
        raises_code(INVALID_ARGUMENT, v.read, (0, 0, 0), (1, 1, 1), dtype=dtype)
    for array in (np.zeros((2, 2, 2), complex), np.zeros((2, 2, 2), bool),
                  np.array([[["a"]]]), np.empty((2, 2, 2), object)):
        raises_code(INVALID_ARGUMENT, tyq.create, tmp_path / "v.vbs", array)
    raises_code(INVALID_ARGUMENT, tyq.create, tmp_path / "v.vbs", np.zeros((2, 2, 2)),
                type="ibmfloat")
    raises_code(INVALID_ARGUMENT, tyq.create_empty, tmp_path / "v.vbs", (2, 2, 2), type="float64")


def test_wrong_shapes(tmp_path):
    path = tmp_path / "v.vbs"
    for array in (np.zeros((2, 2)), np.zeros((2, 2, 2, 2)), np.zeros((0, 3, 3)), 5.0):
        raises_code(INVALID_ARGUMENT, tyq.create, path, array)
    raises_code(INVALID_ARGUMENT, tyq.create_empty, path, (4, 0, 4))
    raises_code(INVALID_ARGUMENT, tyq.create_empty, path, (4, 2**31, 4))
    with tyq.create_empty(path, (8, 8, 8)) as v:
        raises_code(INVALID_ARGUMENT, v.__setitem__, np.s_[0:2], np.zeros((3, 8, 8)))
        raises_code(INVALID_ARGUMENT, v.__setitem__, np.s_[0, 0, :], np.zeros(9))
        raises_code(INVALID_ARGUMENT, v.__setitem__, np.s_[:], np.zeros((8, 8, 8), complex))


def test_bad_creation_options(tmp_path):
    path = tmp_path / "v.vbs"
    zeros = np.zeros((4, 4, 4), np.float32)
    for options in ({"value_range": (1, 1)}, {"value_range": (2, 1)},
                    {"value_range": (0, float("nan"))}, {"value_range": 3},
                    {"brick": (64, 64, 48)}, {"brick": (2, 64, 64)}, {"sqnr": -1},
                    {"annotation": {"inlines": (1, 1)}}, {"annotation": {"inline": (1, 0)}},
                    {"annotation": {"vertical": (0, float("inf"))}},
                    {"annotation": {"vertical_domain": "sideways"}}, {"annotation": [1]},
                    {"annotation": {"vertical_unit": "ms"}},
                    {"corners": [[0, 0]] * 3}, {"corners": [[0, float("nan")]] * 4}):
        raises_code(INVALID_ARGUMENT, tyq.create, path, zeros, **options)
    assert not path.exists()


def test_writes_to_read_only_and_closed_volumes(reference, tmp_path):
    v = tyq.open(reference[0])
    raises_code(READ_ONLY, v.__setitem__, np.s_[0, 0, 0], 1.0)
    v.close()
    v.close()  # closing twice is harmless
    assert v.closed and v.shape == (70, 45, 100)
    raises_code(NOT_OPEN, v.__getitem__, np.s_[0])
    raises_code(NOT_OPEN, lambda: v.statistics)
    with tyq.create_empty(tmp_path / "w.vbs", (4, 4, 4)) as w:
        w[:] = 1
    raises_code(NOT_OPEN, w.__setitem__, np.s_[:], 2.0)


def test_errors_inside_with_still_finish_the_file(tmp_path):
    path = tmp_path / "v.vbs"
    with pytest.raises(ZeroDivisionError):
        with tyq.create_empty(path, (4, 4, 4)) as v:
            v[:] = 1
            1 / 0
    np.testing.assert_array_equal(tyq.open(path)[:], np.ones((4, 4, 4), np.float32))
