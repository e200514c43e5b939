import tidewell


def test_version():
    assert tidewell.__version__ == "0.4.5"
