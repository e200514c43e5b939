// The HTML5 parser: the WHATWG tokenizer and tree builder over UTF-8 input,
// building a Document.
#pragma once

#include <string_view>

#include "common/tags.hpp"
#include "html5/tree.hpp"

namespace tidewell::html5 {

struct ParseOptions {
  bool scripting = true;  // the scripting flag: noscript content is raw text
};

// Parses a whole document. The input must outlive the document (views into
// it are kept); carriage returns are normalised in a private copy.
Document parse_document(std::string_view input, const ParseOptions& options = {});

// Parses `input` as the content of a context element named `context` (lower
// case) in namespace `ns`. The result's root holds one html element whose
// children are the fragment.
Document parse_fragment(std::string_view input, Ns ns, std::string_view context,
                        const ParseOptions& options = {});

}  // namespace tidewell::html5
