// Text that borrows when it can and owns when it must.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace tidewell {

class CowText {
 public:
  CowText() = default;
  explicit CowText(std::string_view borrowed) : view_(borrowed) {}
  explicit CowText(std::string owned) : owned_(std::move(owned)), is_owned_(true) {}

  std::string_view view() const { return is_owned_ ? std::string_view(owned_) : view_; }
  operator std::string_view() const { return view(); }  // NOLINT: implicit on purpose
  bool is_owned() const { return is_owned_; }
  bool empty() const { return view().empty(); }
  std::size_t size() const { return view().size(); }
  std::string to_string() const { return std::string(view()); }
  // Moves the owned text out, or copies the borrowed one.
  std::string into_string() && { return is_owned_ ? std::move(owned_) : std::string(view_); }

  friend bool operator==(const CowText& a, std::string_view b) { return a.view() == b; }

 private:
  std::string_view view_;
  std::string owned_;
  bool is_owned_ = false;
};

}  // namespace tidewell
