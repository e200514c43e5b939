#include "converter/repair/gumbo_guard.hpp"

#include <pthread.h>

#include <csetjmp>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <mutex>

namespace tidewell::repair {

namespace {



// Target of the abort handler for the thread that is inside a parse.
thread_local sigjmp_buf* t_abort_target = nullptr;

// Signal dispositions are process-wide: one guarded parse at a time.
std::mutex g_guard_mutex;

extern "C" void on_abort_during_parse(int) {
  if (sigjmp_buf* target = t_abort_target) siglongjmp(*target, 1);
  // Not raised by a guarded parse: die as the process would have.
  std::signal(SIGABRT, SIG_DFL);
  std::raise(SIGABRT);
}

}  // namespace

namespace {

constexpr std::size_t kAlign = alignof(std::max_align_t);
constexpr std::size_t kFirstBlock = 64 * 1024;

constexpr std::size_t round_up(std::size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

}  // namespace

void* GuardedGumboParse::allocate(void* self, std::size_t size) {
  auto* arena = static_cast<GuardedGumboParse*>(self);
  const std::size_t need = round_up(size == 0 ? 1 : size);
  constexpr std::size_t header = round_up(sizeof(Block));
  Block* block = arena->head_;
  if (block == nullptr || block->size - block->used < need) {
    std::size_t capacity = block ? block->size * 2 : kFirstBlock;
    if (capacity > (std::size_t{16} << 20)) capacity = std::size_t{16} << 20;
    if (capacity < need + header) capacity = need + header;
    auto* fresh = static_cast<Block*>(std::malloc(capacity));
    // gumbo does not check for failure; inside the guard this ends the parse.
    if (fresh == nullptr) std::abort();
    fresh->next = block;
    fresh->size = capacity;
    fresh->used = header;
    arena->head_ = block = fresh;
  }
  void* p = reinterpret_cast<char*>(block) + block->used;
  block->used += need;
  arena->last_ = p;
  ++arena->live_;
  return p;
}

void GuardedGumboParse::deallocate(void* self, void* ptr) {
  if (ptr == nullptr) return;
  auto* arena = static_cast<GuardedGumboParse*>(self);
  --arena->live_;
  // Growing string buffers free their previous copy right after the new
  // one is made; only the newest piece of the newest block can be taken back.
  if (ptr == arena->last_) {
    Block* block = arena->head_;
    block->used = static_cast<std::size_t>(static_cast<char*>(ptr) - reinterpret_cast<char*>(block));
    arena->last_ = nullptr;
  }
}

void GuardedGumboParse::release_all() {
  Block* b = head_;
  while (b) {
    Block* next = b->next;
    std::free(b);
    b = next;
  }
  head_ = nullptr;
  last_ = nullptr;
  live_ = 0;
  output_ = nullptr;
}

GuardedGumboParse::~GuardedGumboParse() { release_all(); }

const GumboOutput* GuardedGumboParse::parse(std::string_view buffer) {
  release_all();
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = &GuardedGumboParse::allocate;
  options.deallocator = &GuardedGumboParse::deallocate;
  options.userdata = this;
  // Each recorded error copies the stack of open elements, which makes
  // deep documents quadratic in time and memory; nothing reads them.
  options.max_errors = 0;

  std::lock_guard<std::mutex> lock(g_guard_mutex);
  sigset_t saved_mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &saved_mask);
  struct sigaction handler {};
  handler.sa_handler = on_abort_during_parse;
  sigemptyset(&handler.sa_mask);
  handler.sa_flags = 0;
  struct sigaction previous {};
  sigaction(SIGABRT, &handler, &previous);

  sigjmp_buf target;
  const GumboOutput* volatile result = nullptr;
  if (sigsetjmp(target, 1) == 0) {
    t_abort_target = &target;
    result = gumbo_parse_with_options(&options, buffer.data(), buffer.size());
  }
  t_abort_target = nullptr;
  sigaction(SIGABRT, &previous, nullptr);
  pthread_sigmask(SIG_SETMASK, &saved_mask, nullptr);

  output_ = result;
  return output_;
}

}  // namespace tidewell::repair
