// Text runs and character references of the tier-1 scanner.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>


#include "common/ascii.hpp"
#include "common/char_sides.hpp"
#include "common/entities.hpp"
#include "common/scan.hpp"
#include "common/unicode_space.hpp"
#include "converter/text/processing.hpp"
#include "converter/tier1/scanner_internal.hpp"

namespace tidewell::tier1 {

namespace {

// Text that would read as emphasis, code, a link or a strikethrough after
// what `before` ends with (what follows it is not known yet).
bool reads_as_inline_markup(std::string_view before, std::string_view written) {
  if (!holds_inline_markup_byte(written)) return false;
  const std::size_t keep = std::min<std::size_t>(before.size(), 8);
  std::string probe(before.substr(before.size() - keep));
  const std::size_t from = probe.size();
  probe.append(written);
  const std::size_t size = probe.size();
  escape_inline_markup(probe, from, '\n', kUnknownNeighbour, false);
  return probe.size() != size;
}

}  // namespace
namespace {

// Bytes of a text run that need more than a copy.
constexpr std::array<bool, 256> make_special() {
  std::array<bool, 256> t{};
  t[' '] = t['\t'] = t['\n'] = t['\f'] = t['\r'] = t['&'] = true;
  return t;
}
constexpr std::array<bool, 256> kSpecial = make_special();

// The window in which a ';' makes "&..." a reference that must be known.
constexpr std::size_t kReferenceReach = 33;

bool is_marker_frame(const Frame& frame) {
  return !frame.plain && !frame.within_own_kind &&
         (frame.kind() == Tier1Kind::Strong || frame.kind() == Tier1Kind::Emphasis);
}

}  // namespace

bool Scanner::decode_reference(std::string_view text, std::size_t& i, std::string& out) {
  const std::size_t used = decode_html_entity_at(text, i, out);
  if (used != 0) {
    i += used;
    return true;
  }
  // A ';' close enough makes the text a reference the reader would try to
  // resolve; one that no decoder knows is left to the DOM road.
  const std::size_t reach = std::min(text.size(), i + 1 + kReferenceReach);
  const void* semi = std::memchr(text.data() + i + 1, ';', reach - (i + 1));
  if (semi == nullptr || semi == text.data() + i + 1) {
    out += '&';
    ++i;
    return true;
  }
  const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(semi) - text.data());
  return fail(Tier1Reason::UnrecognizedEntity, text.substr(i + 1, end - i - 1));
}

bool Scanner::decode_into(std::string_view text, std::string& out) {
  std::size_t copied = 0;
  std::size_t i = 0;
  while (true) {
    const void* hit = i < text.size() ? std::memchr(text.data() + i, '&', text.size() - i) : nullptr;
    if (hit == nullptr) break;
    const std::size_t amp = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    out.append(text, copied, amp - copied);
    i = amp;
    if (!decode_reference(text, i, out)) return false;
    copied = i;
  }
  out.append(text, copied, std::string_view::npos);
  return true;
}

// Where a run of opening emphasis markers of the innermost `open` frames
// that ends at `end` of the current target begins, or npos when no such
// run ends there.
std::size_t Scanner::open_marker_chain_start(std::size_t end, std::size_t open) const {
  const bool cell = in_cell();
  std::size_t at = end;
  std::size_t found = std::string::npos;
  for (std::size_t i = std::min(open, frames_.size()); i > 0; --i) {
    const Frame& frame = frames_[i - 1];
    if (frame.in_cell != cell || frame.start_offset != at) break;
    if (is_marker_frame(frame)) {
      at = frame.marker_offset;
      found = at;
    } else if (frame.kind() == Tier1Kind::Code || (frame.kind() == Tier1Kind::Anchor && frame.has_href)) {
      break;
    }
  }
  return found;
}

// White space that opens an emphasised text stands before its markers
// ("a **b**", not "a** b**", which Markdown would not read as emphasis).
void Scanner::insert_space_before_markers(std::string& target, std::size_t at) {
  if (at == 0 || scan::is_ws(target[at - 1])) return;
  target.insert(at, 1, ' ');
  shift_open_markers(at, 1);
}

// The open frames whose markers or content start at `at` or later follow
// `count` bytes that now stand at `at`.
void Scanner::shift_open_markers(std::size_t at, std::size_t count) {
  const bool cell = in_cell();
  for (std::size_t i = frames_.size(); i > 0; --i) {
    Frame& frame = frames_[i - 1];
    if (frame.in_cell != cell) break;
    if (frame.start_offset < at || (frame.start_offset == at && !is_marker_frame(frame))) break;
    if (frame.marker_offset >= at) frame.marker_offset += count;
    frame.start_offset += count;
  }
}

// Other white space (a no-break space, say) that text written at `start`
// begins with moves before opening markers that end there, as a space from
// the text does: a marker before white space cannot open. The text keeps
// its characters. (Spaces and tabs were handled as the text was written.)
void Scanner::move_space_before_markers(std::string& target, std::size_t start) {
  const std::size_t end = skip_unicode_space(target, start);
  if (end == start) return;
  const std::size_t chain = open_marker_chain_start(start);
  if (chain == std::string::npos) return;
  const auto first = target.begin();
  std::rotate(first + static_cast<std::ptrdiff_t>(chain), first + static_cast<std::ptrdiff_t>(start),
              first + static_cast<std::ptrdiff_t>(end));
  shift_open_markers(chain, end - start);
}

bool Scanner::push_pre_text(std::string_view run, std::string& out) {
  if (std::memchr(run.data(), '&', run.size()) == nullptr) {
    out += run;
    return true;
  }
  return decode_into(run, out);
}

bool Scanner::push_text(std::string_view run) {
  if (table_.open && !table_.in_cell) {
    // Between the cells of a table only white space may stand; any other
    // text would be lost.
    for (char c : run) {
      if (!scan::is_ws(c)) return fail(Tier1Reason::DroppedContent);
    }
    return true;
  }
  std::string& out = target();
  if (in_pre_) return push_pre_text(run, out);
  // Text between the items of a list goes on the line of the item before
  // it on the DOM road, which decides that from what the item holds.
  if (between_items() && !std::all_of(run.begin(), run.end(), [](char c) { return scan::is_ws(c); })) {
    return fail(Tier1Reason::Unsupported, "li");
  }
  const std::size_t before = out.size();
  // Text right after an emphasis marker is looked at again once written.
  const bool after_marker = before != 0 && out[before - 1] == '*';
  std::size_t written = before;
  if (!push_running_text(run, out, written)) return false;
  if (after_marker && !text_after_marker_holds(out, before)) return false;
  // Text that would read as a list, quote or heading marker where it starts
  // a line: the DOM road escapes it.
  // So does a '.' or ')' after a number that another text started the line
  // with.
  if (out.size() > before &&
      (escape_line_block_markers(std::string_view(out).substr(before),
                                 output_at_line_start(std::string_view(out).substr(0, before))) ||
       ((out[before] == '.' || out[before] == ')') &&
        ends_in_line_start_number(std::string_view(out).substr(0, before))))) {
    return fail(Tier1Reason::Unsupported, "line-start marker");
  }
  // An asterisk of the text next to an emphasis marker would join it; the
  // DOM road escapes it. (A reference may decode to one.)
  const bool asterisk = std::memchr(run.data(), '*', run.size()) != nullptr ||
                        (std::memchr(run.data(), '&', run.size()) != nullptr &&
                         std::memchr(out.data() + written, '*', out.size() - written) != nullptr);
  if (asterisk && in_emphasis()) return fail(Tier1Reason::Unsupported, "*");
  // White space the text did not fold is a vertical tab or a character that
  // starts with one of these bytes (U+0085, U+00A0, U+1680, U+2000 to
  // U+205F, U+3000).
  if (after_marker && out.size() > written) {
    const auto first = static_cast<unsigned char>(out[written]);
    if (first == 0xC2 || first == 0xE1 || first == 0xE2 || first == 0xE3 || first == '\v') {
      move_space_before_markers(out, written);
    }
  }
  return true;
}

bool Scanner::between_items() const {
  for (std::size_t i = frames_.size(); i > 0; --i) {
    const Tier1Kind kind = frames_[i - 1].kind();
    if (kind == Tier1Kind::List) return frames_[i - 1].item_counter > 0;
    if (kind != Tier1Kind::Transparent && !is_inline_marker_kind(kind)) return false;
  }
  return false;
}

// Text written at `before`, right after a closing marker that follows
// punctuation, must not start with a letter or digit (of any script, or a
// character that may be one): the marker would stay text. The DOM road
// decides.
bool Scanner::text_after_marker_holds(const std::string& target, std::size_t before) {
  if (closed_after_punct_.first != before || closed_after_punct_.second != in_cell() || target.size() == before) {
    return true;
  }
  return (side_of_char_at(target, before) & kWordSide) == 0 || fail(Tier1Reason::Unsupported, "emphasis");
}

bool Scanner::in_emphasis() const {
  for (const Frame& frame : frames_) {
    if (frame.kind() == Tier1Kind::Strong || frame.kind() == Tier1Kind::Emphasis) return true;
  }
  return false;
}

bool Scanner::push_running_text(std::string_view run, std::string& out, std::size_t& text_start) {

  const char* const data = run.data();
  const std::size_t n = run.size();
  std::size_t i = 0;
  char last = out.empty() ? '\n' : out.back();
  if (scan::is_ws(data[0])) {
    // White space from the text never starts a line, nor follows a list
    // item's marker.
    bool drop = last == '\n';
    if (!drop && !frames_.empty() && frames_.back().kind() == Tier1Kind::ListItem &&
        frames_.back().start_offset == out.size() && !frames_.back().in_cell) {
      drop = true;
    }
    if (!drop && last != ' ') {
      const std::size_t chain = open_marker_chain_start(out.size());
      if (chain != std::string::npos) {
        insert_space_before_markers(out, chain);
        drop = true;
      }
    }
    if (drop) {
      while (i < n && scan::is_ws(data[i])) ++i;
    }
  }
  const std::size_t start = out.size();
  text_start = start;
  while (i < n) {
    const char c = data[i];
    if (!kSpecial[static_cast<unsigned char>(c)]) {
      // Words and the single spaces between them are copied as they stand.
      std::size_t j = scan::skip_plain_words(run, i + 1);
      while (j < n) {
        const auto b = static_cast<unsigned char>(data[j]);
        if (!kSpecial[b]) {
          ++j;
        } else if (b == ' ' && j + 1 < n && !kSpecial[static_cast<unsigned char>(data[j + 1])]) {
          j += 2;
        } else {
          break;
        }
      }
      out.append(data + i, j - i);
      last = data[j - 1];
      i = j;
      continue;
    }
    if (c == '&') {
      if (!decode_reference(run, i, out)) return false;
      last = out.empty() ? '\n' : out.back();
      continue;
    }
    if (c == '\n') {
      // A run of white space that holds a blank line is one line feed: a
      // blank line would end the paragraph.
      if (last != '\n' || out.size() == start) out += '\n';
      last = '\n';
      ++i;
      continue;
    }
    // Spaces and tabs fold into one space, none at a line start.
    if (last != ' ' && last != '\n') {
      out += ' ';
      last = ' ';
    }
    ++i;
  }
  // Text that a Markdown reader would take for a tag, a character reference,
  // a backslash escape or (outside code) inline markup is left to the DOM
  // road, which escapes it.
  const std::string_view before(out.data(), start);
  const std::string_view written = std::string_view(out).substr(start);
  if (joining_markup_at(before, written) != std::string_view::npos || holds_escaped_markup(written, options_) ||
      (!in_code_span() && reads_as_inline_markup(before, written))) {
    return fail(Tier1Reason::MarkupInText);
  }
  return true;
}

}  // namespace tidewell::tier1
