"""Numbers the module stores are refused up front when the file cannot keep them."""

import numpy as np
import pytest

import tyq

INVALID_ARGUMENT = 3


@pytest.mark.parametrize("sqnr", [100, 200, 655.35, 700, 1e9, float("inf"), float("nan"), -0.5])
def test_sqnr_outside_the_tools_bound_is_refused_and_nothing_written(tmp_path, sqnr):
    path = tmp_path / "v.vcs"
    with pytest.raises(tyq.Error) as raised:
        tyq.create(path, np.zeros((4, 4, 4), np.float32), sqnr=sqnr)
    assert raised.value.code == INVALID_ARGUMENT
    assert "less than 100" in raised.value.message
    assert not path.exists()


def test_sqnr_just_inside_the_bound_is_recorded_as_asked(tmp_path):
    path = tmp_path / "v.vcs"
    tyq.create(path, np.arange(4 * 4 * 4, dtype=np.float32).reshape(4, 4, 4), sqnr=99.5)
    assert tyq.open(path).sqnr == pytest.approx(99.5, abs=0.01)
