"""Makes sure the suite tests the module it was pointed at.

tools/test.sh sets TIDEWELL_EXPECT_PACKAGE to the package it built from this
tree; an installed copy shadowing it would make the run test something else.
"""
import os
from pathlib import Path

import tidewell


def pytest_report_header(config):
    return f"tidewell {tidewell.__version__} from {Path(tidewell.__file__).parent}"


def pytest_configure(config):
    expected = os.environ.get("TIDEWELL_EXPECT_PACKAGE")
    if expected and Path(tidewell.__file__).resolve().parent != Path(expected).resolve():
        raise RuntimeError(f"tidewell was imported from {tidewell.__file__}, not from {expected}")
