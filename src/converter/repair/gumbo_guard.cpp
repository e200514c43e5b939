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

static_assert(sizeof(GuardedGumboParse::Header) % alignof(std::max_align_t) == 0,
              "the arena header must keep malloc's alignment");

void* GuardedGumboParse::allocate(void* self, std::size_t size) {
  auto* arena = static_cast<GuardedGumboParse*>(self);
  auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
  // gumbo does not check for failure; inside the guard this ends the parse.
  if (h == nullptr) std::abort();
  h->prev = nullptr;
  h->next = arena->head_;
  if (arena->head_) arena->head_->prev = h;
  arena->head_ = h;
  ++arena->live_;
  return h + 1;
}

void GuardedGumboParse::deallocate(void* self, void* ptr) {
  if (ptr == nullptr) return;
  auto* arena = static_cast<GuardedGumboParse*>(self);
  Header* h = static_cast<Header*>(ptr) - 1;
  if (h->prev) h->prev->next = h->next; else arena->head_ = h->next;
  if (h->next) h->next->prev = h->prev;
  --arena->live_;
  std::free(h);
}

void GuardedGumboParse::release_all() {
  Header* h = head_;
  while (h) {
    Header* next = h->next;
    std::free(h);
    h = next;
  }
  head_ = nullptr;
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
