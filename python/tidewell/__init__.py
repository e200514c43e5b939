"""Fast HTML to Markdown, djot and plain-text conversion, with page metadata,
table grids and document structure.

    import tidewell
    tidewell.convert_to_markdown("<h1>Hi</h1>")           # '# Hi\n'
    tidewell.convert("<p>x</p>", {"output_format": "djot"})  # the whole result dict

The functions live in the extension module `tidewell._tidewell`; every name
it exports (its `__all__`) is exported here unchanged.
"""
from ._tidewell import *  # noqa: F401,F403
from ._tidewell import __all__, __version__  # noqa: F401
