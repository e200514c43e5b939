// The markers of the formatting elements on the DOM road, how each element
// was written, and where the markers of Markdown emphasis and
// strikethrough go so that a reader pairs them: shared by the element
// handlers (formatting.cpp) and the planning of those markers
// (marker_plan.cpp). Internal to the inline module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/emphasis_reading.hpp"
#include "converter/inline/outer_space.hpp"
#include "converter/walk/walk.hpp"

namespace tidewell {

struct Markers {
  std::string open;
  std::string close;
};

inline bool is_djot(const ConversionOptions& options) { return options.output_format == OutputFormat::Djot; }

inline bool is_strong(TagId id) { return id == TagId::B || id == TagId::Strong; }
inline bool is_strike(TagId id) { return id == TagId::S || id == TagId::Strike || id == TagId::Del; }
inline bool is_em(TagId id) { return id == TagId::I || id == TagId::Em; }

// The markers around the content of a formatting element converted in
// `context` (outside code); nothing for elements written another way.
std::optional<Markers> wrap_markers(TagId id, const ConversionOptions& options, const ConversionContext& context);

// The family of a run of markers: emphasis ('*' or '_', which a reader
// joins into one run where they meet) or strikethrough ('~').
inline bool is_strike_marker(const Markers& markers) { return markers.open.starts_with('~'); }

// Markers of the length of `markers` made of `c`.
Markers markers_of_char(const Markers& markers, char c);

// Markdown emphasis and strikethrough: markers whose pairing a reader
// decides from what stands beside them (MarkerCheck).
bool plans_markers(const Markers& markers, const ConversionOptions& options);

// The element is the whole content of an enclosing element that writes the
// same markers (through elements that hold nothing else): it writes none.
bool doubles_enclosing_markers(const Walk& w, NodeHandle node, const ConversionContext& context,
                               const Markers& markers);

// How a formatting element was written, as far as the walk has come.
enum class Written : std::uint8_t {
  Markers,  // with its markers (or not yet)
  Bare,     // without them
};
void note_written(const Walk& w, NodeHandle node, Written how);
Written written_as(const Walk& w, NodeHandle node);

// Where a formatting element's pair opened and its content starts in the
// output it was written to (DomContext::formatting_places).
void note_place(const Walk& w, NodeHandle node, std::size_t pair_open, std::size_t content);
DomContext::FormattingPlace place_of(const Walk& w, NodeHandle node);

// Where the markers of a formatting element go (MarkerCheck::plan).
struct MarkerPlan {
  Markers markers;
  // The content: as rendered, with the white space at the outer edges of a
  // code span there moved out of the span (and of the markers), with the
  // markers of elements inside moved into a link's brackets, or with those
  // at its edges in the other character.
  std::string core;
  bool lead_space = false;
  bool trail_space = false;
  // The stretches of the core that the markers wrap, in order: the whole
  // core, or split at a link at its edge, whose text takes markers of its
  // own inside the brackets.
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  // Output bytes of the pair written right before that take the other
  // marker character, so that its run and the new one stay apart.
  std::vector<std::size_t> flipped;
  // Output bytes of the pair written right before that are left out (in
  // order), where no writing of both reads, nor this content without
  // markers; with `bare`, this content is written without markers too.
  std::vector<std::size_t> dropped;
  bool bare = false;
};

// How to write the markers of a Markdown emphasis or strikethrough element
// (`node`, converted in `context`) around the core of `split` at the end of
// the output, so that a reader pairs them, shows the content with their
// formatting and reads what stands before as before: the output's end is
// read with and without them (reads_as_planned), what stands beside them
// told from the document. Its arguments must outlive it, and the output
// stay as it is while it is used.
class MarkerCheck {
 public:
  MarkerCheck(const Walk& w, NodeHandle node, const ConversionContext& context, const OuterWhitespaceSplit& split,
              const Markers& markers);

  // Where the output's end that is read with the markers starts.
  std::size_t window_start() const { return from_; }

  // The content can continue the pair whose closing marker `close` ends the
  // output (the marker moves after the content); `pair_content`: where the
  // content of that pair's last element starts, to read the pair from there
  // (its opening marker standing before the window).
  bool joins(std::string_view close, std::optional<std::size_t> pair_content);

  // The output from `from` on, written by joining the content to the pair
  // before where it stands, shows the characters of `saved` (what stood
  // there) and of the content, with this pair's formatting added to the
  // content's. `opener`: the pair's opening marker, which stands before
  // `from` (from the start of the pair's content on), or nothing.
  bool rejoined_reads(std::string_view saved, std::size_t from, std::string_view opener) const;

  // The output from `from` on, written with the content without markers,
  // shows the characters of `saved` (what stood there) and of the content,
  // with the formatting they have apart.
  bool bare_reads(std::string_view saved, std::size_t from) const;

  // Tried in turn: the element's own marker character, the other one ('_'
  // for '*'; '*' where '_' cannot open or close, in a word), the pair right
  // before in the other character (its run and this one would join), the
  // markers inside the brackets of a link at an edge of the content, white
  // space at a code span's edge moved out of the span, the pairs inside
  // whose markers start or end the content in the other character, those
  // pairs left out, and the pair right before left out (where this content
  // without markers would not read either: tried after that writing, see
  // bare_reads). A character whose closing marker would join the one of
  // emphasis inside that ends the content comes after the other one and
  // after the pair inside left out. nullopt where none reads: the content
  // is then written without markers.
  std::optional<MarkerPlan> plan();

  // A lone marker of emphasis inside ends the content in the character of
  // `m`: the closing markers would join in one run.
  bool meets_inner_emphasis(const Markers& m) const;

 private:
  using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

  // Reads the output's end from `reach` bytes back.
  void read_from(std::size_t reach);
  // Reads further back where the stretch read was cut short and its
  // reading differs at `difference`, well before its end.
  bool widened(std::size_t difference);
  MarkerPlan plan_with(const Markers& m, Spans spans) const;
  // `partners`, where given: how the window's markers pair in that reading.
  std::vector<std::size_t> pair_before(std::vector<std::uint32_t>* partners = nullptr) const;
  std::optional<MarkerPlan> with_pair_before_flipped() const;
  std::optional<MarkerPlan> with_pair_before_dropped() const;
  std::optional<MarkerPlan> with_link_text_apart() const;
  std::optional<MarkerPlan> with_wrapped_link_text_apart() const;
  std::optional<MarkerPlan> with_code_edges_apart() const;
  std::optional<MarkerPlan> with_inner_pairs_flipped() const;
  std::optional<MarkerPlan> with_inner_pairs_dropped() const;
  // `difference`: where the readings differ (reads_as_planned), when
  // they are read in full.
  bool reads(std::string_view head, std::string_view core, const Markers& m, const Spans& spans,
             std::string_view lead, std::string_view trail, std::uint8_t after, std::size_t* difference = nullptr,
             std::optional<std::string_view> plain_core = std::nullopt) const;
  ReadingEdges edges(std::uint8_t after) const { return ReadingEdges{before_, after, references_}; }

  const Walk& w_;
  NodeHandle node_;
  const ConversionContext& context_;
  const OuterWhitespaceSplit& split_;
  const Markers& markers_;
  bool strike_;
  std::uint8_t adds_;     // what the markers show on the content (kShownStrong, ...)
  std::size_t from_ = 0;  // where the window starts in the output
  bool cut_ = false;      // the window starts short of the output's start
  std::string_view window_;
  std::uint8_t before_ = 0;  // what stands before the window
  std::uint8_t after_ = 0;  // what stands after the closing marker
  std::string_view space_;  // white space that the opening marker follows
  std::vector<Markers> tries_;
  bool references_ = false;  // links are written "[text][n]"
};

}  // namespace tidewell
