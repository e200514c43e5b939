#include <string>

#include "converter/blocks/block_support.hpp"
#include "converter/inline/inline_text.hpp"
#include "converter/inline/links.hpp"
#include "converter/metadata/records.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {
namespace {

// What an image or graphic reads of its element.
struct ImageSource {
  std::string src;
  std::string alt;
  std::optional<std::string> title;
};

std::optional<std::pair<std::uint32_t, std::uint32_t>> image_dimensions(const TlDom& dom, const TlNode::Tag& tag) {
  const auto width = attribute_value_text(dom, tag, "width");
  const auto height = attribute_value_text(dom, tag, "height");
  if (!width || !height) return std::nullopt;
  const auto w = parse_image_dimension(*width);
  const auto h = parse_image_dimension(*height);
  if (!w || !h) return std::nullopt;
  return std::make_pair(*w, *h);
}

// A letter or digit, or a byte of a character outside ASCII.
bool is_word_byte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x80 || (b >= '0' && b <= '9') || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z');
}

// What follows `node` goes on with a word: its next sibling (or, for the
// last child of an inline element such as a link, that element's next
// sibling) is an element other than a line break, or a text that starts
// with a letter or digit.
bool next_sibling_continues_word(const Walk& w, NodeHandle node) {
  // A few levels of inline elements are looked through, no more.
  for (int levels = 0;; ++levels) {
    const auto place = sibling_place(w, node);
    if (!place) return false;
    if (place->index + 1 < place->siblings.size()) {
      node = place->siblings[place->index + 1];
      break;
    }
    const std::optional<NodeHandle> parent = w.dom_context().parent_of(node);
    if (!parent || levels == 8 || !tag_has(w.tag(*parent).id, kInline)) return false;
    node = *parent;
  }
  const TlNode* n = w.dom().node(node);
  if (n == nullptr || n->is_comment()) return false;
  if (const TlNode::Raw* raw = n->as_raw()) {
    const std::string_view text = w.dom().bytes(raw->text);
    return !text.empty() && (is_word_byte(text.front()) || text.front() == '&');
  }
  const TagId id = w.tag(node).id;
  return id != TagId::Br && id != TagId::Wbr;
}

// Writes the image, or its alt text, unless images are skipped.
void write_image(const Walk& w, NodeHandle node, const ImageSource& image, const ConversionContext& context) {
  if (w.options().skip_images) return;
  // Neither a source nor an alt text: nothing to show (often a lazy image
  // whose script would fill it in).
  if (image.src.empty() && image.alt.empty()) return;
  std::string& out = w.out();
  if (writes_alt_only(context)) {
    write_alt_word(w, node, image.alt, context.in_table_cell);
    return;
  }
  std::string label;
  label.reserve(image.alt.size() + 4);
  append_plain_link_text(image.alt, label);
  std::string text;
  text.reserve(image.src.size() + label.size() + 10);
  text += '!';
  append_link_markdown(text, label, image.src, image.title, false, w.options(), context.reference_links);
  if (context.in_table_cell) escape_cell_pipes(text);
  // A graphic is no phrasing element: the walk leaves its line to it.
  blocks::indent_item_line(w, context);
  out += text;
}

// The image record; the caller has checked that one is wanted.
void record_image(const TlDom& dom, const TlNode::Tag& tag, ImageSource image, const ConversionContext& context,
                  OrderedMap attributes) {
  std::optional<std::string> alt;
  if (!image.alt.empty()) alt = std::move(image.alt);
  metadata_add_image(*context.metadata_sink, std::move(image.src), std::move(alt), std::move(image.title),
                     image_dimensions(dom, tag), std::move(attributes));
}

}  // namespace

bool writes_alt_only(const ConversionContext& context) {
  if (context.in_single_line) return !context.keep_images_here;
  return context.inline_mode && !context.keep_images_here;
}

void write_alt_word(const Walk& w, NodeHandle node, std::string_view alt, bool in_table_cell) {
  if (alt.empty()) return;
  std::string& out = w.out();
  if (!out.empty() && is_word_byte(out.back()) && is_word_byte(alt.front())) out += ' ';
  const std::size_t start = out.size();
  escape_markdown_into(alt, EscapeMode::PageText, w.options(), out);
  if (in_table_cell) escape_cell_pipes(out, start);
  if (is_word_byte(alt.back()) && next_sibling_continues_word(w, node)) out += ' ';
}

std::string_view unwrap_markdown_link(std::string_view value) {
  const std::size_t mid = value.find("](");
  if (mid == std::string_view::npos || mid == 0) return value;
  if (value.substr(0, mid).find('[') == std::string_view::npos) return value;
  const std::string_view rest = value.substr(mid + 2);
  const std::size_t close = rest.find(')');
  if (close == std::string_view::npos || close == 0) return value;
  return rest.substr(0, close);
}

std::optional<std::uint32_t> parse_image_dimension(std::string_view value) {
  if (value.starts_with('+')) value.remove_prefix(1);
  if (value.empty()) return std::nullopt;
  std::uint64_t n = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(n);
}

void convert_image(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t) {
  const TlDom& dom = w.dom();
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  ImageSource image;
  if (const auto src = attribute_value_text(dom, *tag, "src")) image.src = std::string(unwrap_markdown_link(*src));
  if (auto alt = attribute_value_text(dom, *tag, "alt")) image.alt = std::move(*alt);
  image.title = attribute_value_text(dom, *tag, "title");

  write_image(w, node, image, context);

  if (context.structure_sink != nullptr) {
    doc_struct_add_image(*context.structure_sink, image.src.empty() ? std::nullopt : std::optional(image.src),
                         image.alt.empty() ? std::nullopt : std::optional(image.alt));
  }
  if (context.collect_images && context.metadata_sink != nullptr && !image.src.empty()) {
    OrderedMap attributes = attribute_record_map(dom, *tag, [](std::string_view name) { return name == "src"; });
    record_image(dom, *tag, std::move(image), context, std::move(attributes));
  }
}

void convert_graphic(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t) {
  const TlDom& dom = w.dom();
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  static constexpr std::string_view kSources[] = {"url", "href", "xlink:href", "src"};
  ImageSource image;
  for (const std::string_view name : kSources) {
    if (auto src = attribute_value_text(dom, *tag, name)) {
      image.src = std::move(*src);
      break;
    }
  }
  if (auto alt = attribute_value_text(dom, *tag, "alt")) {
    image.alt = std::move(*alt);
  } else if (auto filename = attribute_value_text(dom, *tag, "filename")) {
    image.alt = std::move(*filename);
  }
  image.title = attribute_value_text(dom, *tag, "title");

  write_image(w, node, image, context);

  if (context.collect_images && context.metadata_sink != nullptr && !image.src.empty()) {
    OrderedMap attributes = attribute_record_map(dom, *tag, [](std::string_view name) {
      return name == "url" || name == "src" || name == "href" || name == "xlink:href";
    });
    record_image(dom, *tag, std::move(image), context, std::move(attributes));
  }
}

}  // namespace tidewell
