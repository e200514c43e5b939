"""Fast HTML to Markdown, djot and plain-text conversion, with page metadata,
table grids and document structure.

    import tidewell
    tidewell.convert_to_markdown("<h1>Hi</h1>")           # '# Hi\n'
    tidewell.convert("<p>x</p>", {"output_format": "djot"})  # the whole result dict

The functions live in the extension module `tidewell._tidewell` and are
exported here under its `__all__`; the option and result records are
TypedDicts, importable for annotations (`from tidewell import
ConversionOptions`).
"""
from ._tidewell import MarkdownStreamProcessor, __version__, convert, convert_to_markdown
from ._types import (
    ConversionOptions as ConversionOptions,
    ConversionResult as ConversionResult,
    ConversionWarning as ConversionWarning,
    DocumentMetadata as DocumentMetadata,
    DocumentStructure as DocumentStructure,
    HeaderMetadata as HeaderMetadata,
    HtmlMetadata as HtmlMetadata,
    ImageMetadata as ImageMetadata,
    LinkMetadata as LinkMetadata,
    ParserBackend as ParserBackend,
    PreprocessingOptions as PreprocessingOptions,
    StructuredData as StructuredData,
    TableCell as TableCell,
    TableData as TableData,
    TableGrid as TableGrid,
    TierStrategy as TierStrategy,
)

# The extension's own list: `import *` gives the version, the functions and the class.
__all__ = ["__version__", "convert", "convert_to_markdown", "MarkdownStreamProcessor"]
