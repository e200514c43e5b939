"""The empty records of a result, shared by the tests that compare with them."""

EMPTY_DOCUMENT = {
    "title": None,
    "description": None,
    "keywords": [],
    "author": None,
    "canonical_url": None,
    "base_href": None,
    "language": None,
    "text_direction": None,
    "open_graph": {},
    "twitter_card": {},
    "meta_tags": {},
}
EMPTY_METADATA = {
    "document": EMPTY_DOCUMENT,
    "headers": [],
    "links": [],
    "images": [],
    "structured_data": [],
}
