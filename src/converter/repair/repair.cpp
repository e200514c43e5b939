#include "converter/repair/repair.hpp"

#include "common/raw_text.hpp"
#include "common/tags.hpp"
#include "converter/repair/serialize.hpp"
#include "html5/parser.hpp"
#include "common/scan.hpp"
#include "common/utf8.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tidewell {

using scan::find_byte;
using scan::is_ws;
using scan::npos;

namespace {

// Texts from this size on give the freed tree's pages back (below, the
// pages are few and the trim would cost more than it saves).
[[maybe_unused]] constexpr std::size_t kTrimAfterRepairBytes = std::size_t{1} << 20;

// End of a comment or declaration starting at i ("<!" or "<?"), as the
// tokenizer reads it.
std::size_t declaration_end(std::string_view t, std::size_t i) {
  const std::size_t n = t.size();
  if (t.compare(i, 4, "<!--") == 0) return scan::comment_end(t, i);
  if (t.compare(i, 9, "<![CDATA[") == 0) {
    const std::size_t e = scan::find_str(t, "]]>", i + 9);
    return e == npos ? n : e + 3;
  }
  const std::size_t e = find_byte(t, '>', i + 2);
  return e == npos ? n : e + 1;
}
}  // namespace

std::optional<std::string> rewrite_self_closing_tags(std::string_view t) {
  const std::size_t n = t.size();
  scan::CowWriter out(t);
  std::string repl;
  std::size_t i = 0;
  while ((i = find_byte(t, '<', i)) != npos) {
    const std::size_t lt = i;
    if (lt + 1 < n && t[lt + 1] == '/') {
      const std::size_t gt = find_byte(t, '>', lt + 1);
      i = gt == npos ? n : gt + 1;
      continue;
    }
    // Comments and declarations are not tags: a "/>" inside them stays.
    if (lt + 1 < n && (t[lt + 1] == '!' || t[lt + 1] == '?')) {
      i = declaration_end(t, lt);
      continue;
    }
    std::size_t name_at = lt + 1;
    while (name_at < n && is_ws(static_cast<unsigned char>(t[name_at]))) ++name_at;
    std::size_t name_end = name_at;
    while (name_end < n && !is_ws(static_cast<unsigned char>(t[name_end])) && t[name_end] != '/' &&
           t[name_end] != '>') {
      ++name_end;
    }
    if (name_end == name_at) {
      i = name_at;
      continue;
    }
    const scan::StartTagEnd tag = scan::read_start_tag(t, name_end);
    if (tag.end == npos) break;  // the tag never ends: the rest stays as it is
    const std::string_view name = t.substr(name_at, name_end - name_at);
    const TagId id = tag_id_ignore_case(name);
    if (tag.self_closing && !tag_has(id, kVoid)) {
      const std::size_t slash = tag.end - 2;
      repl.clear();
      repl.push_back('<');
      repl.append(name);
      repl.append(t.data() + name_end, slash - name_end);
      repl.append("></");
      repl.append(name);
      repl.push_back('>');
      out.replace(lt, tag.end, repl);
      i = tag.end;
      continue;
    }
    i = tag.end;
    // The content of raw-text and escapable raw-text elements is text: a
    // "/>" in a script, a style, a title or a textarea stays as written.
    // (Scripting is on for the parse: a noscript's content is text too.)
    if (id == TagId::Plaintext) break;
    if (scan::has_raw_text(id) || id == TagId::Noscript) i = scan::raw_text_end(t, i, id);
  }
  return out.finish();
}

std::string repair_html(std::string_view html) {
  if (html.size() >= 3 && html.compare(0, 3, "\xEF\xBB\xBF") == 0) html.remove_prefix(3);
  // Ill-formed UTF-8 is read as U+FFFD, so what is written back is well formed.
  const std::optional<std::string> well_formed = utf8_lossy_owned(html);
  if (well_formed) html = *well_formed;
  const std::optional<std::string> rewritten = rewrite_self_closing_tags(html);
  const std::string_view text = rewritten ? std::string_view(*rewritten) : html;
  std::string out;
  {
    const html5::Document doc = html5::parse_document(text);
    // Every node writes a few bytes of markup of its own (an element at
    // least "<b></b>"), so that a tree of many nodes from few bytes, where
    // the repair reopens formatting, is written without growing the text.
    out.reserve(text.size() + text.size() / 8 + 8 * doc.size() + 64);
    repair::serialize_document(doc, out);
  }
  // The tree's nodes are many small chunks that the allocator keeps after
  // they are freed; on a large text, hand those pages back before the
  // caller parses the repaired text, which needs as much again.
#if defined(__GLIBC__)
  if (text.size() >= kTrimAfterRepairBytes) malloc_trim(0);
#endif
  return out;
}

}  // namespace tidewell
