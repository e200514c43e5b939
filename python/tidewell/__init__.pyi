"""Type information of the `tidewell` package."""
from typing import Any, Literal, TypedDict

__version__: str
__all__: list[str]

_Names = list[str] | tuple[str, ...]

# Strict option values: any other text is refused with ValueError.
TierStrategy = Literal["auto", "tier2", "fast_dom", "quillmoor"]
ParserBackend = Literal["copperfern-tl", "copper_fern_tl", "copperfern_tl", "asm_tl", "asm-tl"]

class PreprocessingOptions(TypedDict, total=False):
    """The boilerplate filter ("preprocessing")."""

    enabled: bool
    preset: str
    remove_navigation: bool
    removeNavigation: bool
    remove_forms: bool
    removeForms: bool

class ConversionOptions(TypedDict, total=False):
    """Every option key, in its snake_case name and, for multi-word keys, its
    camelCase alias (give one spelling per option). Enum-like values are read
    leniently (ASCII letters lower-cased, digits kept, other characters
    dropped) and an unknown value selects the fallback; tier_strategy and
    parser_backend are strict. Values and defaults: see the README."""

    heading_style: str
    headingStyle: str
    list_indent_type: str
    listIndentType: str
    list_indent_width: int
    listIndentWidth: int
    bullets: str
    strong_em_symbol: str
    strongEmSymbol: str
    escape_asterisks: bool
    escapeAsterisks: bool
    escape_underscores: bool
    escapeUnderscores: bool
    escape_misc: bool
    escapeMisc: bool
    escape_ascii: bool
    escapeAscii: bool
    code_language: str
    codeLanguage: str
    autolinks: bool
    default_title: bool
    defaultTitle: bool
    br_in_tables: bool
    brInTables: bool
    compact_tables: bool
    compactTables: bool
    highlight_style: str
    highlightStyle: str
    extract_metadata: bool
    extractMetadata: bool
    whitespace_mode: str
    whitespaceMode: str
    strip_newlines: bool
    stripNewlines: bool
    wrap: bool
    wrap_width: int
    wrapWidth: int
    convert_as_inline: bool
    convertAsInline: bool
    sub_symbol: str
    subSymbol: str
    sup_symbol: str
    supSymbol: str
    newline_style: str
    newlineStyle: str
    code_block_style: str
    codeBlockStyle: str
    keep_inline_images_in: _Names
    keepInlineImagesIn: _Names
    preprocessing: PreprocessingOptions
    encoding: str
    debug: bool
    strip_tags: _Names
    stripTags: _Names
    preserve_tags: _Names
    preserveTags: _Names
    skip_images: bool
    skipImages: bool
    url_escape_style: str
    urlEscapeStyle: str
    link_style: str
    linkStyle: str
    output_format: str
    outputFormat: str
    include_document_structure: bool
    includeDocumentStructure: bool
    extract_images: bool
    extractImages: bool
    max_image_size: int
    maxImageSize: int
    capture_svg: bool
    captureSvg: bool
    infer_dimensions: bool
    inferDimensions: bool
    max_depth: int | None
    maxDepth: int | None
    exclude_selectors: _Names
    excludeSelectors: _Names
    tier_strategy: TierStrategy
    tierStrategy: TierStrategy
    parser_backend: ParserBackend
    parserBackend: ParserBackend

class DocumentMetadata(TypedDict):
    title: str | None
    description: str | None
    keywords: list[str]
    author: str | None
    canonical_url: str | None
    base_href: str | None
    language: str | None
    text_direction: Literal["ltr", "rtl", "auto"] | None
    open_graph: dict[str, str]
    twitter_card: dict[str, str]
    meta_tags: dict[str, str]

class HeaderMetadata(TypedDict):
    level: int
    text: str
    id: str | None
    depth: int
    html_offset: int

class LinkMetadata(TypedDict):
    href: str
    text: str
    title: str | None
    link_type: Literal["anchor", "internal", "external", "email", "phone", "other"]
    rel: list[str]
    attributes: dict[str, str]

class ImageMetadata(TypedDict):
    src: str
    alt: str | None
    title: str | None
    dimensions: list[int] | None
    image_type: Literal["data_uri", "inline_svg", "external", "relative"]
    attributes: dict[str, str]

class StructuredData(TypedDict):
    data_type: Literal["json_ld", "microdata", "rdfa"]
    raw_json: str
    schema_type: str | None

class HtmlMetadata(TypedDict):
    document: DocumentMetadata
    headers: list[HeaderMetadata]
    links: list[LinkMetadata]
    images: list[ImageMetadata]
    structured_data: list[StructuredData]

class TableCell(TypedDict):
    content: str
    row: int
    col: int
    row_span: int
    col_span: int
    is_header: bool

class TableGrid(TypedDict):
    rows: int
    cols: int
    cells: list[TableCell]

class TableData(TypedDict):
    grid: TableGrid
    markdown: str

class ConversionWarning(TypedDict):
    message: str
    kind: str

class DocumentStructure(TypedDict, total=False):
    nodes: list[dict[str, Any]]
    source_format: str

class ConversionResult(TypedDict):
    content: str | None
    document: DocumentStructure | None
    metadata: HtmlMetadata
    tables: list[TableData]
    warnings: list[ConversionWarning]

def convert(html: str, options: ConversionOptions | None = None) -> ConversionResult:
    """Converts `html` and returns the whole result. Raises ValueError for bad
    options or refused input, TypeError for arguments of the wrong type."""

def convert_to_markdown(html: str, options: ConversionOptions | None = None) -> str:
    """Converts `html` and returns the text alone ("" when there is none)."""

class MarkdownStreamProcessor:
    """Converts HTML that arrives in pieces: each `process_chunk` returns the
    Markdown that can no longer change, keeping markup cut by the chunk's end
    for the next call; `finish` returns the rest. The options are checked like
    those of `convert` (ValueError when refused) and otherwise not used. One
    object converts one document."""

    def __init__(self, options: ConversionOptions | None = None) -> None: ...
    def process_chunk(self, chunk: str) -> str:
        """The Markdown ready after `chunk`. Raises ValueError for input that
        `convert` refuses (the same message, from then on at every call) and
        after `finish`."""
    def finish(self) -> str:
        """Ends the document and returns the rest of the Markdown. Raises
        ValueError when the input is refused or `finish` was called before."""
