"""Shared fixtures: small reference volumes written through the module."""

import os
import pathlib

import numpy as np
import pytest

import tyq

# Sizes that do not divide into bricks, so partial bricks and several levels
# of detail are always involved.
SHAPE = (70, 45, 100)
BRICK = (16, 16, 16)


def reference_array(shape=SHAPE, seed=7):
    rng = np.random.default_rng(seed)
    return rng.standard_normal(shape).astype(np.float32) * 100


@pytest.fixture(scope="session")
def reference(tmp_path_factory):
    """A float volume file and the array it was written from."""
    path = tmp_path_factory.mktemp("ref") / "reference.vbs"
    array = reference_array()
    tyq.create(path, array, brick=BRICK,
               annotation={"inline": (1000, 2), "crossline": (20, 1), "vertical": (0, 4),
                           "vertical_domain": "time", "vertical_unit": ("ms", 0.001)})
    return path, array


def _path_from_environment(name):
    path = os.environ.get(name)
    if not path:
        pytest.fail(f"{name} is not set: run the Python tests through ctest")
    return pathlib.Path(path)


@pytest.fixture
def tool():
    """The command-line tool the CTest test points to."""
    return _path_from_environment("TYQ_TOOL")


@pytest.fixture
def test_data():
    return _path_from_environment("TYQ_TEST_DATA")


@pytest.fixture
def examples():
    """The tool's example files (a synthetic volume description)."""
    return _path_from_environment("TYQ_EXAMPLES")
