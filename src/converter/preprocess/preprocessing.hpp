// Text-level passes that run over the HTML before the fast parser sees it.
//
// Every pass is a forward scan over UTF-8 bytes that cuts and inserts only
// next to ASCII bytes, and is copy-on-write: nullopt means "unchanged, keep
// the text you passed in"; otherwise the owned result is returned.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// Runs the six passes in order, each on the previous one's result.
std::optional<std::string> run_preprocessing(std::string_view text);

// Removes script and style elements outside svg (JSON-LD scripts stay).
std::optional<std::string> strip_script_and_style(std::string_view text);
// Removes elements that carry the boolean attribute `hidden`.
std::optional<std::string> remove_hidden_elements(std::string_view text);
// Rewrites comment terminators with three or more dashes to "-->".
std::optional<std::string> normalize_comment_endings(std::string_view text);
// Joins end tags whose name and ">" are separated by white space ("</li >",
// "</div\n>"): the fast parsers read the name up to the ">" and would not
// close the element.
std::optional<std::string> join_split_end_tags(std::string_view text);
// Inserts the end tags of li, dt and dd items left open.
std::optional<std::string> close_open_list_items(std::string_view text);
// Empty comments, self-closing br/hr/img, script/style bodies, doctypes and
// stray "<" bytes, made safe for the fast parser.
std::optional<std::string> normalize_markup_for_parser(std::string_view text);
// The same in one scan with the empty comments "<!-->" and "<!--->" made
// "<!-- -->" first, as the fast roads need them, for a text that holds no
// comment terminator of three or more dashes (which must be rewritten in
// between).
std::optional<std::string> normalize_markup_for_fast_parser(std::string_view text);
// Writes the empty comments "<!-->", "<!--->" and "<!---->" as "<!-- -->",
// which a later comment terminator would otherwise be read as closing.
std::optional<std::string> normalize_empty_comments(std::string_view text);

// Whether a complete script start tag ("<script ...>") declares JSON-LD.
bool is_json_ld_script_tag(std::string_view tag);

}  // namespace tidewell
