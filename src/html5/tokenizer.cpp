#include "html5/tokenizer.hpp"

#include <array>

#include "common/entities.hpp"
#include "html5/scan.hpp"

namespace tidewell::html5 {

enum class Tokenizer::S : std::uint8_t {
  Data, Rcdata, Rawtext, ScriptData, Plaintext, CdataSection, CdataBracket, CdataEnd,
  TagOpen, EndTagOpen, TagName, RcdataLessThan, RawtextLessThan, ScriptDataLessThan,
  ScriptDataEscapeStart, ScriptDataEscapeStartDash, ScriptDataEscaped, ScriptDataEscapedDash,
  ScriptDataEscapedDashDash, ScriptDataEscapedLessThan, ScriptDataDoubleEscapeStart,
  ScriptDataDoubleEscaped, ScriptDataDoubleEscapedDash, ScriptDataDoubleEscapedDashDash,
  ScriptDataDoubleEscapedLessThan, ScriptDataDoubleEscapeEnd,
  BeforeAttrName, AttrName, AfterAttrName, BeforeAttrValue, AttrValueDouble, AttrValueSingle,
  AttrValueUnquoted, AfterAttrValueQuoted, SelfClosingStartTag,
  BogusComment, MarkupDeclarationOpen, CommentStart, CommentStartDash, Comment, CommentLessThan,
  CommentLessThanBang, CommentLessThanBangDash, CommentLessThanBangDashDash, CommentEndDash,
  CommentEnd, CommentEndBang,
  Doctype, BeforeDoctypeName, DoctypeName, AfterDoctypeName, AfterDoctypePublicKeyword,
  BeforeDoctypePublicId, DoctypePublicIdDouble, DoctypePublicIdSingle, AfterDoctypePublicId,
  BetweenDoctypePublicAndSystem, AfterDoctypeSystemKeyword, BeforeDoctypeSystemId,
  DoctypeSystemIdDouble, DoctypeSystemIdSingle, AfterDoctypeSystemId, BogusDoctype,
};

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

enum : std::uint8_t { kWs = 1, kUpper = 2, kTagStop = 4, kAttrStop = 8, kUnquotedStop = 16, kAlpha = 32 };

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> t{};
  for (unsigned char c : {'\t', '\n', '\f', '\r', ' '}) t[c] |= kWs | kTagStop | kAttrStop | kUnquotedStop;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kUpper | kTagStop | kAttrStop | kAlpha;
  for (int c = 'a'; c <= 'z'; ++c) t[c] |= kAlpha;
  t[static_cast<unsigned char>('/')] |= kTagStop | kAttrStop;
  t[static_cast<unsigned char>('>')] |= kTagStop | kAttrStop | kUnquotedStop;
  t[0] |= kTagStop | kAttrStop | kUnquotedStop;
  t[static_cast<unsigned char>('=')] |= kAttrStop;
  t[static_cast<unsigned char>('&')] |= kUnquotedStop;
  return t;
}

constexpr std::array<std::uint8_t, 256> kClass = make_classes();

inline std::uint8_t cls(char c) { return kClass[static_cast<unsigned char>(c)]; }
inline bool is_ws(char c) { return (cls(c) & kWs) != 0; }
inline bool is_alpha(char c) { return (cls(c) & kAlpha) != 0; }
inline char lower(char c) { return (cls(c) & kUpper) ? static_cast<char>(c + 32) : c; }

// Whether the lower-case `word` stands at p, ignoring ASCII case.
bool ieq_at(const char* p, const char* end, std::string_view word) {
  if (static_cast<std::size_t>(end - p) < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (lower(p[k]) != word[k]) return false;
  }
  return true;
}

std::uint32_t hash_name(std::string_view s) {
  std::uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

constexpr std::size_t kLinearDuplicateCheck = 16;

}  // namespace

Tokenizer::Tokenizer(std::string_view input)
    : input_(input), p_(input.data()), end_(input.data() + input.size()), state_(S::Data) {}

void Tokenizer::set_state(State state) {
  switch (state) {
    case State::Data: state_ = S::Data; break;
    case State::Rcdata: state_ = S::Rcdata; break;
    case State::Rawtext: state_ = S::Rawtext; break;
    case State::ScriptData: state_ = S::ScriptData; break;
    case State::Plaintext: state_ = S::Plaintext; break;
    case State::CdataSection: state_ = S::CdataSection; break;
  }
}

Token& Tokenizer::next() {
  if (served_ < queued_) return queue_[served_++];
  queued_ = served_ = 0;
  if (eof_emitted_) {
    queue_[0] = Token{};
    queued_ = 1;
  } else {
    run();
  }
  return queue_[served_++];
}

Token& Tokenizer::push(TokenType type) {
  static_assert(sizeof(queue_) / sizeof(queue_[0]) == 3, "one step of run() emits at most three tokens");
  Token& t = queue_[queued_++];
  t = Token{};
  t.type = type;
  return t;
}

// ---- text ----

void Tokenizer::text_input(const char* from, const char* to) {
  if (from == to) return;
  if (text_owned_) {
    text_buf_.append(from, to);
  } else if (text_from_ == nullptr) {
    text_from_ = from;
    text_to_ = to;
  } else if (text_to_ == from) {
    text_to_ = to;
  } else {
    text_buf_.assign(text_from_, text_to_);
    text_buf_.append(from, to);
    text_owned_ = true;
  }
}

void Tokenizer::text_bytes(std::string_view bytes) {
  if (!text_owned_) {
    if (text_from_ != nullptr) text_buf_.assign(text_from_, text_to_);
    else text_buf_.clear();
    text_owned_ = true;
  }
  text_buf_.append(bytes);
}

void Tokenizer::flush_text() {
  std::string_view text;
  if (text_owned_) text = text_buf_;
  else if (text_from_ != nullptr) text = std::string_view(text_from_, static_cast<std::size_t>(text_to_ - text_from_));
  text_owned_ = false;
  text_from_ = text_to_ = nullptr;
  if (text.empty()) return;
  Token& t = push(TokenType::Characters);
  t.data = text;
}

// ---- tags ----

void Tokenizer::begin_tag(bool end_tag, const char* name_at) {
  tag_end_ = end_tag;
  self_closing_ = false;
  attrs_.clear();
  store_.clear();
  dup_index_.clear();
  name_at_ = static_cast<std::size_t>(name_at - input_.data());
  name_len_ = 0;
  name_owned_ = false;
}

void Tokenizer::name_to_store() {
  if (name_owned_) return;
  store_.append(input_.data() + name_at_, name_len_);
  name_at_ = store_.size() - name_len_;
  name_owned_ = true;
}

void Tokenizer::begin_attr(const char* name_at) {
  attrs_.push_back({static_cast<std::size_t>(name_at - input_.data()), 0, 0, 0, false, false, false});
}

void Tokenizer::attr_name_to_store() {
  PendingAttr& a = attrs_.back();
  if (a.name_owned) return;
  store_.append(input_.data() + a.name_at, a.name_len);
  a.name_at = store_.size() - a.name_len;
  a.name_owned = true;
}

void Tokenizer::attr_value_to_store() {
  PendingAttr& a = attrs_.back();
  if (a.value_owned) return;
  store_.append(input_.data() + a.value_at, a.value_len);
  a.value_at = store_.size() - a.value_len;
  a.value_owned = true;
}

void Tokenizer::value_input(const char* from, const char* to) {
  PendingAttr& a = attrs_.back();
  if (from == to) return;
  if (a.value_owned) {
    store_.append(from, to);
    a.value_len += static_cast<std::size_t>(to - from);
  } else if (a.value_len == 0) {
    a.value_at = static_cast<std::size_t>(from - input_.data());
    a.value_len = static_cast<std::size_t>(to - from);
  } else if (input_.data() + a.value_at + a.value_len == from) {
    a.value_len += static_cast<std::size_t>(to - from);
  } else {
    attr_value_to_store();
    store_.append(from, to);
    a.value_len += static_cast<std::size_t>(to - from);
  }
}

void Tokenizer::value_bytes(std::string_view bytes) {
  PendingAttr& a = attrs_.back();
  if (!a.value_owned) {
    if (a.value_len == 0) {
      a.value_at = store_.size();
      a.value_owned = true;
    } else {
      attr_value_to_store();
    }
  }
  store_.append(bytes);
  a.value_len += bytes.size();
}

void Tokenizer::finish_attr_name() {
  auto name_of = [&](const PendingAttr& a) {
    return std::string_view((a.name_owned ? store_.data() : input_.data()) + a.name_at, a.name_len);
  };
  const std::size_t count = attrs_.size();
  const std::string_view name = name_of(attrs_.back());
  if (count <= kLinearDuplicateCheck) {
    for (std::size_t k = 0; k + 1 < count; ++k) {
      if (!attrs_[k].dropped && name_of(attrs_[k]) == name) {
        attrs_.back().dropped = true;
        break;
      }
    }
  } else {
    // A hash table over the kept names, rebuilt when it fills up.
    auto insert = [&](std::uint32_t index) {
      const std::size_t mask = dup_index_.size() - 1;
      std::size_t slot = hash_name(name_of(attrs_[index])) & mask;
      while (dup_index_[slot] != 0) slot = (slot + 1) & mask;
      dup_index_[slot] = index + 1;
    };
    if (dup_index_.size() < 2 * count) {
      std::size_t size = 64;
      while (size < 4 * count) size *= 2;
      dup_index_.assign(size, 0);
      for (std::size_t k = 0; k + 1 < count; ++k) {
        if (!attrs_[k].dropped) insert(static_cast<std::uint32_t>(k));
      }
    }
    const std::size_t mask = dup_index_.size() - 1;
    for (std::size_t slot = hash_name(name) & mask; dup_index_[slot] != 0; slot = (slot + 1) & mask) {
      if (name_of(attrs_[dup_index_[slot] - 1]) == name) {
        attrs_.back().dropped = true;
        break;
      }
    }
    if (!attrs_.back().dropped) insert(static_cast<std::uint32_t>(count - 1));
  }
}

void Tokenizer::emit_tag() {
  flush_text();
  Token& t = push(tag_end_ ? TokenType::EndTag : TokenType::StartTag);
  t.name = std::string_view((name_owned_ ? store_.data() : input_.data()) + name_at_, name_len_);
  t.tag = tag_id(t.name);
  attr_views_.clear();
  if (!tag_end_) {
    for (const PendingAttr& a : attrs_) {
      if (a.dropped) continue;
      attr_views_.push_back(
          {std::string_view((a.name_owned ? store_.data() : input_.data()) + a.name_at, a.name_len),
           std::string_view((a.value_owned ? store_.data() : input_.data()) + a.value_at, a.value_len),
           AttrNs::None});
    }
    t.attrs = attr_views_;
    t.self_closing = self_closing_;
    last_start_.assign(t.name);
  }
  state_ = S::Data;
}

bool Tokenizer::appropriate_end_tag(const char* at) const {
  // `at` follows "</".
  if (last_start_.empty() || !ieq_at(at, end_, last_start_)) return false;
  const char* after = at + last_start_.size();
  return after < end_ && (is_ws(*after) || *after == '/' || *after == '>');
}

void Tokenizer::emit_comment(const char* from, const char* to) {
  flush_text();
  Token& t = push(TokenType::Comment);
  t.data = std::string_view(from, static_cast<std::size_t>(to - from));
  if (t.data.find('\0') != std::string_view::npos) {
    comment_buf_.clear();
    for (char c : t.data) {
      if (c == '\0') comment_buf_.append(kReplacement);
      else comment_buf_.push_back(c);
    }
    t.data = comment_buf_;
  }
}

void Tokenizer::emit_doctype() {
  flush_text();
  Token& t = push(TokenType::Doctype);
  t.name = doctype_name_;
  t.has_name = doctype_has_name_;
  t.force_quirks = force_quirks_;
  t.ids.public_id = public_id_;
  t.ids.system_id = system_id_;
  t.ids.has_public = has_public_;
  t.ids.has_system = has_system_;
  state_ = S::Data;
}

void Tokenizer::emit_eof() {
  flush_text();
  push(TokenType::Eof);
  eof_emitted_ = true;
}

// ---- the state machine ----

void Tokenizer::run() {
  const char* p = p_;
  const char* const end = end_;
  auto emit_null = [&] {
    flush_text();
    Token& t = push(TokenType::Null);
    t.data = std::string_view("\0", 1);
  };
  // A character reference in text (in_attr false) or in an attribute value.
  auto char_ref = [&](bool in_attr) {
    ref_buf_.clear();
    const std::size_t used =
        read_character_reference(std::string_view(p, static_cast<std::size_t>(end - p)), in_attr, ref_buf_);
    if (used == 0) {
      if (in_attr) value_input(p, p + 1);
      else text_input(p, p + 1);
      ++p;
    } else {
      if (in_attr) value_bytes(ref_buf_);
      else text_bytes(ref_buf_);
      p += used;
    }
  };
  auto comment_at_eof = [&] {
    emit_comment(comment_from_, comment_to_);
    emit_eof();
  };
  auto doctype_at_eof = [&] {
    force_quirks_ = true;
    emit_doctype();
    emit_eof();
  };
  // A '-' is taken and leads to `dash`; anything else is left for `other`.
  auto step_on_dash = [&](S dash, S other) {
    if (p < end && *p == '-') {
      ++p;
      state_ = dash;
    } else {
      state_ = other;
    }
  };
  // After "</" in RCDATA, RAWTEXT and script data: the end tag that closes
  // them, or plain text.
  auto raw_end_tag = [&](S text_state) {
    if (appropriate_end_tag(p)) {
      begin_tag(true, p);
      name_len_ = last_start_.size();
      // The name may be written in upper case.
      for (std::size_t k = 0; k < name_len_; ++k) {
        if (p[k] != last_start_[k]) {
          name_len_ = 0;
          name_to_store();
          store_.append(last_start_);
          name_len_ = last_start_.size();
          break;
        }
      }
      p += last_start_.size();
      state_ = S::TagName;
    } else {
      text_input(p - 2, p);
      state_ = text_state;
    }
  };

  while (queued_ == 0) {
    switch (state_) {
      case S::Data: {
        const char* q = scan::find3(p, end, '<', '&', '\0');
        text_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
          break;
        }
        if (*p == '<') {
          ++p;
          state_ = S::TagOpen;
        } else if (*p == '&') {
          char_ref(false);
        } else {
          ++p;
          emit_null();
        }
        break;
      }
      case S::Rcdata: {
        const char* q = scan::find3(p, end, '<', '&', '\0');
        text_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
        } else if (*p == '<') {
          ++p;
          state_ = S::RcdataLessThan;
        } else if (*p == '&') {
          char_ref(false);
        } else {
          ++p;
          text_bytes(kReplacement);
        }
        break;
      }
      case S::Rawtext:
      case S::ScriptData: {
        const char* q = scan::find2(p, end, '<', '\0');
        text_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
        } else if (*p == '<') {
          ++p;
          state_ = state_ == S::Rawtext ? S::RawtextLessThan : S::ScriptDataLessThan;
        } else {
          ++p;
          text_bytes(kReplacement);
        }
        break;
      }
      case S::Plaintext: {
        const char* q = scan::find1(p, end, '\0');
        text_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
        } else {
          ++p;
          text_bytes(kReplacement);
        }
        break;
      }
      case S::RcdataLessThan:
      case S::RawtextLessThan: {
        const S back = state_ == S::RcdataLessThan ? S::Rcdata : S::Rawtext;
        if (p < end && *p == '/') {
          ++p;
          raw_end_tag(back);
        } else {
          text_input(p - 1, p);
          state_ = back;
        }
        break;
      }
      case S::ScriptDataLessThan: {
        if (p < end && *p == '/') {
          ++p;
          raw_end_tag(S::ScriptData);
        } else if (p < end && *p == '!') {
          ++p;
          text_input(p - 2, p);
          state_ = S::ScriptDataEscapeStart;
        } else {
          text_input(p - 1, p);
          state_ = S::ScriptData;
        }
        break;
      }
      case S::ScriptDataEscapeStart:
      case S::ScriptDataEscapeStartDash: {
        if (p < end && *p == '-') {
          text_input(p, p + 1);
          ++p;
          state_ = state_ == S::ScriptDataEscapeStart ? S::ScriptDataEscapeStartDash : S::ScriptDataEscapedDashDash;
        } else {
          state_ = S::ScriptData;
        }
        break;
      }
      // Escaped and double-escaped script data differ only in where a '<'
      // leads (and whether it is text at once) and in the states they return to.
      case S::ScriptDataEscaped:
      case S::ScriptDataDoubleEscaped: {
        const bool twice = state_ == S::ScriptDataDoubleEscaped;
        const char* q = scan::find3(p, end, '-', '<', '\0');
        text_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
        } else if (*p == '-') {
          text_input(p, p + 1);
          ++p;
          state_ = twice ? S::ScriptDataDoubleEscapedDash : S::ScriptDataEscapedDash;
        } else if (*p == '<') {
          if (twice) text_input(p, p + 1);
          ++p;
          state_ = twice ? S::ScriptDataDoubleEscapedLessThan : S::ScriptDataEscapedLessThan;
        } else {
          ++p;
          text_bytes(kReplacement);
        }
        break;
      }
      case S::ScriptDataEscapedDash:
      case S::ScriptDataEscapedDashDash:
      case S::ScriptDataDoubleEscapedDash:
      case S::ScriptDataDoubleEscapedDashDash: {
        const bool twice = state_ == S::ScriptDataDoubleEscapedDash || state_ == S::ScriptDataDoubleEscapedDashDash;
        const bool dash_dash = state_ == S::ScriptDataEscapedDashDash || state_ == S::ScriptDataDoubleEscapedDashDash;
        const S inside = twice ? S::ScriptDataDoubleEscaped : S::ScriptDataEscaped;
        if (p == end) {
          emit_eof();
          break;
        }
        const char c = *p;
        if (c == '-') {
          text_input(p, p + 1);
          ++p;
          state_ = twice ? S::ScriptDataDoubleEscapedDashDash : S::ScriptDataEscapedDashDash;
        } else if (c == '<') {
          if (twice) text_input(p, p + 1);
          ++p;
          state_ = twice ? S::ScriptDataDoubleEscapedLessThan : S::ScriptDataEscapedLessThan;
        } else if (c == '>' && dash_dash) {
          text_input(p, p + 1);
          ++p;
          state_ = S::ScriptData;
        } else if (c == '\0') {
          ++p;
          text_bytes(kReplacement);
          state_ = inside;
        } else {
          text_input(p, p + 1);
          ++p;
          state_ = inside;
        }
        break;
      }
      case S::ScriptDataEscapedLessThan: {
        if (p < end && *p == '/') {
          ++p;
          raw_end_tag(S::ScriptDataEscaped);
        } else if (p < end && is_alpha(*p)) {
          text_input(p - 1, p);
          state_ = S::ScriptDataDoubleEscapeStart;
        } else {
          text_input(p - 1, p);
          state_ = S::ScriptDataEscaped;
        }
        break;
      }
      case S::ScriptDataDoubleEscapeStart:
      case S::ScriptDataDoubleEscapeEnd: {
        // A run of letters, then the character that decides.
        const bool start = state_ == S::ScriptDataDoubleEscapeStart;
        const char* q = p;
        temp_.clear();
        while (q < end && is_alpha(*q)) temp_.push_back(lower(*q++));
        text_input(p, q);
        p = q;
        if (p < end && (is_ws(*p) || *p == '/' || *p == '>')) {
          text_input(p, p + 1);
          ++p;
          if (temp_ == "script") state_ = start ? S::ScriptDataDoubleEscaped : S::ScriptDataEscaped;
          else state_ = start ? S::ScriptDataEscaped : S::ScriptDataDoubleEscaped;
        } else {
          state_ = start ? S::ScriptDataEscaped : S::ScriptDataDoubleEscaped;
        }
        break;
      }
      case S::ScriptDataDoubleEscapedLessThan: {
        if (p < end && *p == '/') {
          text_input(p, p + 1);
          ++p;
          state_ = S::ScriptDataDoubleEscapeEnd;
        } else {
          state_ = S::ScriptDataDoubleEscaped;
        }
        break;
      }
      case S::CdataSection: {
        const char* q = scan::find2(p, end, ']', '\0');
        text_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
        } else if (*p == ']') {
          ++p;
          state_ = S::CdataBracket;
        } else {
          ++p;
          emit_null();
        }
        break;
      }
      case S::CdataBracket: {
        if (p < end && *p == ']') {
          ++p;
          state_ = S::CdataEnd;
        } else {
          text_input(p - 1, p);
          state_ = S::CdataSection;
        }
        break;
      }
      case S::CdataEnd: {
        if (p < end && *p == ']') {
          text_input(p - 2, p - 1);
          ++p;
        } else if (p < end && *p == '>') {
          ++p;
          state_ = S::Data;
        } else {
          text_input(p - 2, p);
          state_ = S::CdataSection;
        }
        break;
      }
      case S::TagOpen: {
        if (p == end) {
          text_input(p - 1, p);
          state_ = S::Data;
        } else if (*p == '!') {
          ++p;
          state_ = S::MarkupDeclarationOpen;
        } else if (*p == '/') {
          ++p;
          state_ = S::EndTagOpen;
        } else if (is_alpha(*p)) {
          begin_tag(false, p);
          state_ = S::TagName;
        } else if (*p == '?') {
          comment_from_ = p;
          state_ = S::BogusComment;
        } else {
          text_input(p - 1, p);
          state_ = S::Data;
        }
        break;
      }
      case S::EndTagOpen: {
        if (p == end) {
          text_input(p - 2, p);
          state_ = S::Data;
        } else if (is_alpha(*p)) {
          begin_tag(true, p);
          state_ = S::TagName;
        } else if (*p == '>') {
          ++p;
          state_ = S::Data;
        } else {
          comment_from_ = p;
          state_ = S::BogusComment;
        }
        break;
      }
      case S::TagName: {
        const char* q = p;
        while (q < end && !(cls(*q) & kTagStop)) ++q;
        if (name_owned_) store_.append(p, q);
        name_len_ += static_cast<std::size_t>(q - p);
        p = q;
        if (p == end) {
          emit_eof();
          break;
        }
        const char c = *p++;
        if (cls(c) & kUpper) {
          name_to_store();
          store_.push_back(lower(c));
          ++name_len_;
        } else if (c == '\0') {
          name_to_store();
          store_.append(kReplacement);
          name_len_ += kReplacement.size();
        } else if (c == '/') {
          state_ = S::SelfClosingStartTag;
        } else if (c == '>') {
          emit_tag();
        } else {
          state_ = S::BeforeAttrName;
        }
        break;
      }
      case S::BeforeAttrName: {
        while (p < end && is_ws(*p)) ++p;
        if (p == end || *p == '/' || *p == '>') {
          state_ = S::AfterAttrName;
        } else {
          begin_attr(p);
          if (*p == '=') {
            ++p;
            attrs_.back().name_len = 1;
          }
          state_ = S::AttrName;
        }
        break;
      }
      case S::AttrName: {
        PendingAttr& a = attrs_.back();
        const char* q = p;
        while (q < end && !(cls(*q) & kAttrStop)) ++q;
        if (a.name_owned) store_.append(p, q);
        a.name_len += static_cast<std::size_t>(q - p);
        p = q;
        if (p < end && (cls(*p) & kUpper)) {
          attr_name_to_store();
          store_.push_back(lower(*p++));
          ++attrs_.back().name_len;
          break;
        }
        if (p < end && *p == '\0') {
          ++p;
          attr_name_to_store();
          store_.append(kReplacement);
          attrs_.back().name_len += kReplacement.size();
          break;
        }
        finish_attr_name();
        if (p < end && *p == '=') {
          ++p;
          state_ = S::BeforeAttrValue;
        } else {
          state_ = S::AfterAttrName;
        }
        break;
      }
      case S::AfterAttrName: {
        while (p < end && is_ws(*p)) ++p;
        if (p == end) {
          emit_eof();
        } else if (*p == '/') {
          ++p;
          state_ = S::SelfClosingStartTag;
        } else if (*p == '=') {
          ++p;
          state_ = S::BeforeAttrValue;
        } else if (*p == '>') {
          ++p;
          emit_tag();
        } else {
          begin_attr(p);
          state_ = S::AttrName;
        }
        break;
      }
      case S::BeforeAttrValue: {
        while (p < end && is_ws(*p)) ++p;
        if (p < end && *p == '"') {
          ++p;
          state_ = S::AttrValueDouble;
        } else if (p < end && *p == '\'') {
          ++p;
          state_ = S::AttrValueSingle;
        } else if (p < end && *p == '>') {
          ++p;
          emit_tag();
        } else {
          state_ = S::AttrValueUnquoted;
        }
        break;
      }
      case S::AttrValueDouble:
      case S::AttrValueSingle: {
        const char quote = state_ == S::AttrValueDouble ? '"' : '\'';
        const char* q = scan::find3(p, end, quote, '&', '\0');
        value_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
        } else if (*p == quote) {
          ++p;
          state_ = S::AfterAttrValueQuoted;
        } else if (*p == '&') {
          char_ref(true);
        } else {
          ++p;
          value_bytes(kReplacement);
        }
        break;
      }
      case S::AttrValueUnquoted: {
        const char* q = p;
        while (q < end && !(cls(*q) & kUnquotedStop)) ++q;
        value_input(p, q);
        p = q;
        if (p == end) {
          emit_eof();
        } else if (*p == '&') {
          char_ref(true);
        } else if (*p == '\0') {
          ++p;
          value_bytes(kReplacement);
        } else {
          if (*p++ == '>') emit_tag();
          else state_ = S::BeforeAttrName;
        }
        break;
      }
      case S::AfterAttrValueQuoted: {
        if (p == end) {
          emit_eof();
        } else if (is_ws(*p)) {
          ++p;
          state_ = S::BeforeAttrName;
        } else if (*p == '/') {
          ++p;
          state_ = S::SelfClosingStartTag;
        } else if (*p == '>') {
          ++p;
          emit_tag();
        } else {
          state_ = S::BeforeAttrName;
        }
        break;
      }
      case S::SelfClosingStartTag: {
        if (p == end) {
          emit_eof();
        } else if (*p == '>') {
          ++p;
          self_closing_ = true;
          emit_tag();
        } else {
          state_ = S::BeforeAttrName;
        }
        break;
      }
      case S::BogusComment: {
        const char* q = scan::find1(p, end, '>');
        emit_comment(comment_from_, q);
        p = q == end ? end : q + 1;
        state_ = S::Data;
        break;
      }
      case S::MarkupDeclarationOpen: {
        if (end - p >= 2 && p[0] == '-' && p[1] == '-') {
          p += 2;
          comment_from_ = comment_to_ = p;
          state_ = S::CommentStart;
        } else if (ieq_at(p, end, "doctype")) {
          p += 7;
          state_ = S::Doctype;
        } else if (end - p >= 7 && std::string_view(p, 7) == "[CDATA[") {
          if (cdata_allowed_) {
            p += 7;
            state_ = S::CdataSection;
          } else {
            comment_from_ = p;
            p += 7;
            state_ = S::BogusComment;
          }
        } else {
          comment_from_ = p;
          state_ = S::BogusComment;
        }
        break;
      }
      case S::CommentStart: {
        if (p < end && *p == '-') {
          ++p;
          state_ = S::CommentStartDash;
        } else if (p < end && *p == '>') {
          ++p;
          emit_comment(comment_from_, comment_from_);
          state_ = S::Data;
        } else {
          state_ = S::Comment;
        }
        break;
      }
      case S::CommentStartDash: {
        if (p == end) {
          comment_at_eof();
        } else if (*p == '-') {
          ++p;
          state_ = S::CommentEnd;
        } else if (*p == '>') {
          ++p;
          emit_comment(comment_from_, comment_from_);
          state_ = S::Data;
        } else {
          comment_to_ = p;
          state_ = S::Comment;
        }
        break;
      }
      case S::Comment: {
        const char* q = scan::find2(p, end, '<', '-');
        p = comment_to_ = q;
        if (p == end) {
          comment_at_eof();
        } else if (*p == '<') {
          comment_to_ = ++p;
          state_ = S::CommentLessThan;
        } else {
          ++p;
          state_ = S::CommentEndDash;
        }
        break;
      }
      case S::CommentLessThan: {
        if (p < end && *p == '!') {
          comment_to_ = ++p;
          state_ = S::CommentLessThanBang;
        } else if (p < end && *p == '<') {
          comment_to_ = ++p;
        } else {
          state_ = S::Comment;
        }
        break;
      }
      case S::CommentLessThanBang: step_on_dash(S::CommentLessThanBangDash, S::Comment); break;
      case S::CommentLessThanBangDash: step_on_dash(S::CommentLessThanBangDashDash, S::CommentEndDash); break;
      case S::CommentLessThanBangDashDash: {
        state_ = S::CommentEnd;
        break;
      }
      case S::CommentEndDash: {
        if (p == end) {
          comment_at_eof();
        } else if (*p == '-') {
          ++p;
          state_ = S::CommentEnd;
        } else {
          comment_to_ = p;
          state_ = S::Comment;
        }
        break;
      }
      case S::CommentEnd: {
        if (p == end) {
          comment_at_eof();
        } else if (*p == '>') {
          ++p;
          emit_comment(comment_from_, comment_to_);
          state_ = S::Data;
        } else if (*p == '!') {
          ++p;
          state_ = S::CommentEndBang;
        } else if (*p == '-') {
          ++p;
          ++comment_to_;
        } else {
          comment_to_ = p;
          state_ = S::Comment;
        }
        break;
      }
      case S::CommentEndBang: {
        if (p == end) {
          comment_at_eof();
        } else if (*p == '-') {
          comment_to_ = p;
          ++p;
          state_ = S::CommentEndDash;
        } else if (*p == '>') {
          ++p;
          emit_comment(comment_from_, comment_to_);
          state_ = S::Data;
        } else {
          comment_to_ = p;
          state_ = S::Comment;
        }
        break;
      }
      case S::Doctype: {
        doctype_name_.clear();
        public_id_.clear();
        system_id_.clear();
        doctype_has_name_ = has_public_ = has_system_ = force_quirks_ = false;
        if (p == end) {
          doctype_at_eof();
          break;
        }
        if (is_ws(*p)) ++p;
        state_ = S::BeforeDoctypeName;
        break;
      }
      case S::BeforeDoctypeName: {
        while (p < end && is_ws(*p)) ++p;
        if (p == end) {
          doctype_at_eof();
        } else if (*p == '>') {
          ++p;
          force_quirks_ = true;
          emit_doctype();
        } else {
          doctype_has_name_ = true;
          state_ = S::DoctypeName;
        }
        break;
      }
      case S::DoctypeName: {
        if (p == end) {
          doctype_at_eof();
          break;
        }
        const char c = *p++;
        if (is_ws(c)) state_ = S::AfterDoctypeName;
        else if (c == '>') emit_doctype();
        else if (c == '\0') doctype_name_.append(kReplacement);
        else doctype_name_.push_back(lower(c));
        break;
      }
      case S::AfterDoctypeName: {
        while (p < end && is_ws(*p)) ++p;
        if (p == end) {
          doctype_at_eof();
        } else if (*p == '>') {
          ++p;
          emit_doctype();
        } else if (ieq_at(p, end, "public")) {
          p += 6;
          state_ = S::AfterDoctypePublicKeyword;
        } else if (ieq_at(p, end, "system")) {
          p += 6;
          state_ = S::AfterDoctypeSystemKeyword;
        } else {
          force_quirks_ = true;
          state_ = S::BogusDoctype;
        }
        break;
      }
      case S::AfterDoctypePublicKeyword:
      case S::AfterDoctypeSystemKeyword:
      case S::BeforeDoctypePublicId:
      case S::BeforeDoctypeSystemId: {
        const bool is_public = state_ == S::AfterDoctypePublicKeyword || state_ == S::BeforeDoctypePublicId;
        while (p < end && is_ws(*p)) ++p;
        if (p == end) {
          doctype_at_eof();
        } else if (*p == '"' || *p == '\'') {
          const bool dq = *p++ == '"';
          if (is_public) {
            has_public_ = true;
            state_ = dq ? S::DoctypePublicIdDouble : S::DoctypePublicIdSingle;
          } else {
            has_system_ = true;
            state_ = dq ? S::DoctypeSystemIdDouble : S::DoctypeSystemIdSingle;
          }
        } else if (*p == '>') {
          ++p;
          force_quirks_ = true;
          emit_doctype();
        } else {
          force_quirks_ = true;
          state_ = S::BogusDoctype;
        }
        break;
      }
      case S::DoctypePublicIdDouble:
      case S::DoctypePublicIdSingle:
      case S::DoctypeSystemIdDouble:
      case S::DoctypeSystemIdSingle: {
        const bool is_public = state_ == S::DoctypePublicIdDouble || state_ == S::DoctypePublicIdSingle;
        const char quote = (state_ == S::DoctypePublicIdDouble || state_ == S::DoctypeSystemIdDouble) ? '"' : '\'';
        std::string& id = is_public ? public_id_ : system_id_;
        if (p == end) {
          doctype_at_eof();
          break;
        }
        const char c = *p++;
        if (c == quote) {
          state_ = is_public ? S::AfterDoctypePublicId : S::AfterDoctypeSystemId;
        } else if (c == '\0') {
          id.append(kReplacement);
        } else if (c == '>') {
          force_quirks_ = true;
          emit_doctype();
        } else {
          id.push_back(c);
        }
        break;
      }
      case S::AfterDoctypePublicId:
      case S::BetweenDoctypePublicAndSystem: {
        if (state_ == S::AfterDoctypePublicId && p < end && is_ws(*p)) {
          ++p;
          state_ = S::BetweenDoctypePublicAndSystem;
          break;
        }
        while (p < end && is_ws(*p)) ++p;
        if (p == end) {
          doctype_at_eof();
        } else if (*p == '>') {
          ++p;
          emit_doctype();
        } else if (*p == '"' || *p == '\'') {
          has_system_ = true;
          state_ = *p++ == '"' ? S::DoctypeSystemIdDouble : S::DoctypeSystemIdSingle;
        } else {
          force_quirks_ = true;
          state_ = S::BogusDoctype;
        }
        break;
      }
      case S::AfterDoctypeSystemId: {
        while (p < end && is_ws(*p)) ++p;
        if (p == end) {
          doctype_at_eof();
        } else if (*p == '>') {
          ++p;
          emit_doctype();
        } else {
          state_ = S::BogusDoctype;
        }
        break;
      }
      case S::BogusDoctype: {
        const char* q = scan::find1(p, end, '>');
        if (q == end) {
          p = end;
          emit_doctype();
          emit_eof();
        } else {
          p = q + 1;
          emit_doctype();
        }
        break;
      }
    }
  }
  p_ = p;
}

}  // namespace tidewell::html5
