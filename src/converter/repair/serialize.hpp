// Writes an HTML5 document back as HTML text.
#pragma once

#include <string>

#include "html5/tree.hpp"

namespace tidewell::repair {

// Appends the children of the document node to `out`: the doctype as
// "<!DOCTYPE name>", comments, elements with every attribute value quoted
// and escaped, void elements without end tags, the text of raw-text
// elements (noscript among them: scripting is on) as it stands and every
// other text escaped. A template is written without its content.
void serialize_document(const html5::Document& doc, std::string& out);

}  // namespace tidewell::repair
