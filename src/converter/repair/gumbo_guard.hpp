// A gumbo parse that can neither leak nor take the process down.
//
// Every allocation gumbo makes goes to an arena owned by the parse and is
// released with it, without walking the tree (which may be a million levels
// deep). Debian's gumbo keeps its assertions and some inputs trip them; a
// SIGABRT handler installed only for the duration of the parse jumps back
// out, and the parse then reports that it gave nothing.
#pragma once

#include <gumbo.h>

#include <cstddef>
#include <string_view>

namespace tidewell::repair {

class GuardedGumboParse {
 public:
  GuardedGumboParse() = default;
  GuardedGumboParse(const GuardedGumboParse&) = delete;
  GuardedGumboParse& operator=(const GuardedGumboParse&) = delete;
  ~GuardedGumboParse();

  // Parses `buffer` as a whole document (no error records are kept).
  // Returns nullptr when gumbo aborted. The tree points into `buffer`,
  // which must outlive this object.
  const GumboOutput* parse(std::string_view buffer);

  // Number of allocations currently held by the arena (for tests).
  std::size_t live_allocations() const { return live_; }

 private:
  // Blocks of a bump arena: gumbo allocates many small pieces, and frees
  // most of them only when the whole tree goes; a freed piece is given back
  // only when it is the last one handed out.
  struct Block {
    Block* next;
    std::size_t size;
    std::size_t used;
  };

  static void* allocate(void* self, std::size_t size);
  static void deallocate(void* self, void* ptr);
  void release_all();

  Block* head_ = nullptr;
  void* last_ = nullptr;  // the most recent allocation, while it is the block's last
  std::size_t live_ = 0;
  const GumboOutput* output_ = nullptr;
};

}  // namespace tidewell::repair
