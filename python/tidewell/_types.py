"""The option and result records of `tidewell` as TypedDicts, with the
literal types of the strict option values. They are real classes, so
`from tidewell import ConversionOptions` works at run time as well as for a
type checker; at run time they are plain dicts.
"""
from typing import Any, Literal, TypedDict

_Names = list[str] | tuple[str, ...]
# The array form of a record: its values by position, in key order.
_Positional = list[Any] | tuple[Any, ...]

# Strict option values: any other text is refused with ValueError. Written as
# unions of one-value literals, the same type to a checker, so that the object
# is a Union at run time too, as stubtest expects of a union alias.
TierStrategy = Literal["auto"] | Literal["tier2"] | Literal["fast_dom"] | Literal["quillmoor"]
ParserBackend = (
    Literal["copperfern-tl"] | Literal["copper_fern_tl"] | Literal["copperfern_tl"]
    | Literal["asm_tl"] | Literal["asm-tl"]
)


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
    parser_backend are strict. The options may also be given as a list of
    their values by position, in the order of the snake_case keys below.
    Values and defaults: see the README."""

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
    preprocessing: PreprocessingOptions | _Positional
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
    content: str
    document: DocumentStructure | None
    metadata: HtmlMetadata
    tables: list[TableData]
    warnings: list[ConversionWarning]
