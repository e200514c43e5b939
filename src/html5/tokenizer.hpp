// The HTML tokenizer: UTF-8 bytes in (line breaks already normalised),
// tokens out, one at a time. Names and values are views into the input where
// nothing had to change, else into the tokenizer's buffers, valid until the
// next call to next().
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/tags.hpp"
#include "html5/tree.hpp"

namespace tidewell::html5 {

enum class TokenType : std::uint8_t { Doctype, StartTag, EndTag, Comment, Characters, Null, Eof };

struct Token {
  TokenType type = TokenType::Eof;
  TagId tag = TagId::Unknown;
  bool self_closing = false;
  std::string_view name;  // tag name in lower case; doctype name
  std::span<const Attribute> attrs;
  std::string_view data;  // characters; comment data
  // Doctype only.
  bool has_name = false;
  bool force_quirks = false;
  DoctypeInfo ids;

  const Attribute* find_attr(std::string_view attr_name) const {
    for (const Attribute& a : attrs) {
      if (a.name == attr_name) return &a;
    }
    return nullptr;
  }
};

class Tokenizer {
 public:
  // The states a tree builder (or a test) may switch to.
  enum class State : std::uint8_t { Data, Rcdata, Rawtext, ScriptData, Plaintext, CdataSection };

  explicit Tokenizer(std::string_view input);

  void set_state(State state);
  // The name an end tag must have to close RCDATA, RAWTEXT and script data.
  void set_last_start_tag(std::string_view name) { last_start_.assign(name); }
  // Whether "<![CDATA[" opens a CDATA section (the adjusted current node is
  // not an HTML element).
  void set_cdata_allowed(bool allowed) { cdata_allowed_ = allowed; }

  // The next token; Eof again and again at the end. The caller may change it
  // (it is the tokenizer's until the next call).
  Token& next();

 private:
  enum class S : std::uint8_t;
  struct PendingAttr {
    std::size_t name_at, name_len, value_at, value_len;
    bool name_owned, value_owned;
    bool dropped;  // a duplicate name: its value is read, then it goes
  };

  void run();
  // Text.
  void text_input(const char* from, const char* to);
  void text_bytes(std::string_view bytes);
  void flush_text();
  // Tags.
  void begin_tag(bool end_tag, const char* name_at);
  void name_to_store();
  void begin_attr(const char* name_at);
  void attr_name_to_store();
  void attr_value_to_store();
  void value_input(const char* from, const char* to);
  void value_bytes(std::string_view bytes);
  void finish_attr_name();
  void emit_tag();
  void emit_comment(const char* from, const char* to);
  void emit_doctype();
  void emit_eof();
  Token& push(TokenType type);
  bool appropriate_end_tag(const char* at) const;

  std::string_view input_;
  const char* p_;
  const char* end_;
  S state_;
  bool cdata_allowed_ = false;
  bool eof_emitted_ = false;
  std::string last_start_;

  // Tokens ready for next(): at most a text run, one other token and the
  // end of input (a comment or doctype cut off by it).
  Token queue_[3];
  int queued_ = 0;
  int served_ = 0;

  // Pending text: a view of the input while it is one run of it.
  const char* text_from_ = nullptr;
  const char* text_to_ = nullptr;
  bool text_owned_ = false;
  std::string text_buf_;

  // The tag being read.
  bool tag_end_ = false;
  bool self_closing_ = false;
  std::size_t name_at_ = 0, name_len_ = 0;
  bool name_owned_ = false;
  std::vector<PendingAttr> attrs_;
  std::string store_;  // owned names and values of the current tag
  std::vector<Attribute> attr_views_;
  std::vector<std::uint32_t> dup_index_;  // hash table over attrs_ for long tags
  std::string ref_buf_;

  // Comment and doctype buffers.
  const char* comment_from_ = nullptr;
  const char* comment_to_ = nullptr;
  std::string comment_buf_;
  std::string doctype_name_, public_id_, system_id_;
  bool doctype_has_name_ = false, has_public_ = false, has_system_ = false, force_quirks_ = false;
  std::string temp_;  // script data double-escape name
};

}  // namespace tidewell::html5
