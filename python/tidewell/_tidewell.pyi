"""The extension module: the conversion functions and the streaming class."""
from typing import final

from ._types import ConversionOptions, ConversionResult, _Positional

__version__: str
__all__ = ["__version__", "convert", "convert_to_markdown", "MarkdownStreamProcessor"]

# A dict of options by key, or their values by position.
_Options = ConversionOptions | _Positional

def convert(html: str, options: _Options | None = None) -> ConversionResult:
    """Converts `html` and returns the whole result. Raises ValueError for bad
    options or refused input, TypeError for arguments of the wrong type,
    MemoryError when the output is too large to hold in memory."""

def convert_to_markdown(html: str, options: _Options | None = None) -> str:
    """Converts `html` and returns the text alone ("" when there is none)."""

@final
class MarkdownStreamProcessor:
    """Converts HTML that arrives in pieces: each `process_chunk` returns the
    Markdown that can no longer change, keeping markup cut by the chunk's end
    for the next call; `finish` returns the rest. The options are checked like
    those of `convert` (ValueError when refused) and otherwise not used. One
    object converts one document."""

    def __new__(cls, options: _Options | None = None) -> "MarkdownStreamProcessor": ...
    def process_chunk(self, chunk: str) -> str:
        """The Markdown ready after `chunk`. Raises ValueError for input that
        `convert` refuses (the same message, from then on at every call) and
        after `finish`."""
    def finish(self) -> str:
        """Ends the document and returns the rest of the Markdown. Raises
        ValueError when the input is refused or `finish` was called before."""
