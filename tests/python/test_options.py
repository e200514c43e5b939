"""Refused options surface as ValueError with the reader's exact message."""

import json

import pytest

import tidewell

ALL_KEYS = (
    "headingStyle heading_style listIndentType list_indent_type listIndentWidth "
    "list_indent_width bullets strongEmSymbol strong_em_symbol escapeAsterisks "
    "escape_asterisks escapeUnderscores escape_underscores escapeMisc escape_misc "
    "escapeAscii escape_ascii codeLanguage code_language autolinks defaultTitle "
    "default_title brInTables br_in_tables compactTables compact_tables highlightStyle "
    "highlight_style extractMetadata extract_metadata whitespaceMode whitespace_mode "
    "stripNewlines strip_newlines wrap wrapWidth wrap_width convertAsInline "
    "convert_as_inline subSymbol sub_symbol supSymbol sup_symbol newlineStyle "
    "newline_style codeBlockStyle code_block_style keepInlineImagesIn "
    "keep_inline_images_in preprocessing encoding debug stripTags strip_tags "
    "preserveTags preserve_tags skipImages skip_images urlEscapeStyle url_escape_style "
    "linkStyle link_style outputFormat output_format includeDocumentStructure "
    "include_document_structure extractImages extract_images maxImageSize "
    "max_image_size captureSvg capture_svg inferDimensions infer_dimensions maxDepth "
    "max_depth excludeSelectors exclude_selectors tierStrategy tier_strategy "
    "parserBackend parser_backend"
).split()
assert len(ALL_KEYS) == 82
KEY_LIST = "one of " + ", ".join(f"`{k}`" for k in ALL_KEYS)

FULL_ARRAY = [
    "atxclosed", "tabs", 4, "*", "_", True, True, True, True, "python", False, True, True,
    True, "html", False, "strict", True, True, 40, True, "~", "^", "backslash", "tildes",
    ["h1"], [False, "aggressive", False, False], "latin-1", True, ["script"], ["video"],
    True, "percent", "reference", "djot", True, True, 7, True, False, 3, [".ad"],
    "quillmoor", "asm_tl",
]
assert len(FULL_ARRAY) == 44


def _extra_element_column():
    text = json.dumps(FULL_ARRAY + [1])
    return text.rindex(", 1]") + 3


REFUSED = [
    ({"headingStyle": "atx", "heading_style": "atx"},
     "duplicate field `heading_style` at line 1 column 39"),
    ({"foo": 1}, f"unknown field `foo`, expected {KEY_LIST} at line 1 column 6"),
    ({"wrap": "yes"}, 'invalid type: string "yes", expected a boolean at line 1 column 14'),
    ({"wrap_width": -1}, "invalid value: integer `-1`, expected usize at line 1 column 17"),
    ({"wrap_width": 18446744073709551616},
     "invalid type: floating point `1.8446744073709552e19`, expected usize at line 1 column 35"),
    ({"list_indent_width": 2.5},
     "invalid type: floating point `2.5`, expected usize at line 1 column 25"),
    ({"strong_em_symbol": "**"},
     'invalid value: string "**", expected a character at line 1 column 25'),
    ({"strip_tags": "script"},
     'invalid type: string "script", expected a sequence at line 1 column 23'),
    ({"max_depth": "5"}, 'invalid type: string "5", expected usize at line 1 column 17'),
    ({"tier_strategy": "Auto"},
     "unknown variant `Auto`, expected one of `auto`, `tier2`, `fast_dom`, `quillmoor` "
     "at line 1 column 24"),
    ({"tier_strategy": 5}, "expected value at line 1 column 19"),
    ({"tier_strategy": {"fast_dom": 1}},
     "invalid type: integer `1`, expected unit at line 1 column 32"),
    ({"parser_backend": "ASM_TL"},
     "unknown variant `ASM_TL`, expected one of `copper_fern_tl`, `copperfern-tl`, "
     "`copperfern_tl`, `asm-tl`, `asm_tl` at line 1 column 27"),
    ({"wrap_width": float("nan")},
     "invalid value: floating point `NaN`, expected a finite number for `wrap_width` at line 1 column 18"),
    ({"wrap_width": float("inf")},
     "invalid value: floating point `Infinity`, expected a finite number for `wrap_width` at line 1 column 23"),
    ({"maxDepth": float("-inf")},
     "invalid value: floating point `-Infinity`, expected a finite number for `max_depth` at line 1 column 22"),
    ({"wrap": float("nan")}, "expected value at line 1 column 10"),
    ({"strong_em_symbol": "\u00e9"},
     'invalid value: string "\u00e9", expected `*` or `_` for `strong_em_symbol` at line 1 column 29'),
    ({"strong_em_symbol": "~"},
     'invalid value: string "~", expected `*` or `_` for `strong_em_symbol` at line 1 column 24'),
    ({"code_language": "py\n# injected"},
     'invalid value: string "py\\n# injected", expected a language without line feeds, carriage returns '
     "or backticks for `code_language` at line 1 column 34"),
    ({"code_language": "py```"},
     'invalid value: string "py```", expected a language without line feeds, carriage returns '
     "or backticks for `code_language` at line 1 column 25"),
    ({"wrap_width": 10 ** 400}, "number out of range at line 1 column 416"),
    ({"preprocessing": {"preset": "x", "enabled": 1}},
     "invalid type: integer `1`, expected a boolean at line 1 column 46"),
    ({"preprocessing": {"remove_forms": True, "removeForms": False}},
     "duplicate field `remove_forms` at line 1 column 54"),
    ({"preprocessing": {"colour": 1}},
     "unknown field `colour`, expected one of `enabled`, `preset`, `removeNavigation`, "
     "`remove_navigation`, `removeForms`, `remove_forms` at line 1 column 27"),
    ("abc", 'invalid type: string "abc", expected struct ConversionOptions at line 1 column 5'),
    (5, "invalid type: integer `5`, expected struct ConversionOptions at line 1 column 1"),
    ({1: True}, f"unknown field `1`, expected {KEY_LIST} at line 1 column 4"),
    ({True: True}, f"unknown field `true`, expected {KEY_LIST} at line 1 column 7"),
    ({None: True}, f"unknown field `null`, expected {KEY_LIST} at line 1 column 7"),
    ({"bullets": "\ud800"}, "unexpected end of hex escape at line 1 column 20"),
    ({"bullets": "\udc00"}, "lone leading surrogate in hex escape at line 1 column 19"),
    (FULL_ARRAY + [1], f"trailing characters at line 1 column {_extra_element_column()}"),
]


@pytest.mark.parametrize("options,message", REFUSED)
def test_refused_options(options, message):
    with pytest.raises(ValueError) as info:
        tidewell.convert("x", options)
    assert str(info.value) == "invalid conversion options: " + message


@pytest.mark.parametrize("options,message", REFUSED[:3])
def test_refused_options_elsewhere(options, message):
    with pytest.raises(ValueError) as info:
        tidewell.convert_to_markdown("x", options)
    assert str(info.value) == "invalid conversion options: " + message


# Values of the right type that would break the output: the stream's
# processor refuses them as the conversions do.
BREAKING = [case for case in REFUSED if "for `" in case[1]]


@pytest.mark.parametrize("options,message", BREAKING)
def test_breaking_values_refused_by_the_stream_processor(options, message):
    with pytest.raises(ValueError) as info:
        tidewell.MarkdownStreamProcessor(options)
    assert str(info.value) == "invalid conversion options: " + message


@pytest.mark.parametrize(
    "options",
    [
        None,
        {},
        [],
        ["atxclosed"],
        FULL_ARRAY[:42] + ["tier2", "copperfern-tl"],
        {"headingStyle": "atx closed"},
        {"max_depth": None},
        {"tier_strategy": {"fast_dom": None}},
        {"parser_backend": "asm-tl"},
        {"parserBackend": "asm_tl"},
        {"preprocessing": {"preset": "x"}},
        {"preprocessing": [False, "minimal"]},
    ],
)
def test_accepted_options(options):
    assert isinstance(tidewell.convert("x", options), dict)
