// SPDX-License-Identifier: MIT
// Unit tests of whole runs in memory: the plain model of the search, running
// out of memory at every allocation, and runs that leave nothing behind.
#include "run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "derivation.h"
#include "capture.h"
#include "output.h"
#include "reference_search.h"
#include "trace.h"

namespace {
long allocations_left = -1;  // allocations that may still succeed; -1: all
long allocations_made = 0;   // allocations that succeeded, ever
}  // namespace

// Every allocation of the program goes through here, so that a test can make
// the next one fail. The pair works on malloc and free, which GCC cannot
// tell from a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  if (allocations_left == 0) throw std::bad_alloc();
  if (allocations_left > 0) --allocations_left;
  if (void* p = std::malloc(size != 0 ? size : 1)) {
    ++allocations_made;
    return p;
  }
  throw std::bad_alloc();
}
// The forms that cannot throw, which the standard library uses for
// scratch memory it can do without (std::stable_sort's buffer).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Runs on `grammar` with output kept in `printed`, whose buffer is reserved
// and reused, so that capturing never allocates once it has grown.
int run_captured(std::string_view grammar, std::string& printed) {
  printed.reserve(1 << 20);
  captured_run run = capture_run([grammar] { return run_bytes(grammar); }, std::move(printed));
  printed = std::move(run.out);
  return run.status;
}

// Random small grammars, long forms and full stacks among them: a run
// prints exactly what the plain model prints, as far as the model gets.
TEST(RunTest, RunsMatchPlainModelOfSearch) {
  std::mt19937 random(2026);
  int compared = 0;
  for (int n = 0; n < 300; ++n) {
    std::string grammar_text = reference_random_grammar(random);
    std::string printed;
    if (run_captured(grammar_text, printed) != 0) continue;  // rejected: the loader's cases
    grammar_table g;
    output_capture listing;
    ASSERT_EQ(parse_grammar(g, grammar_text), 0);
    print_rules(g);
    std::string expected = std::move(listing.out);
    if (reference_search(g, 4 << 20, expected)) {
      EXPECT_EQ(printed, expected) << grammar_text;
    } else {
      EXPECT_EQ(printed.substr(0, expected.size()), expected) << grammar_text;
    }
    ++compared;
  }
  EXPECT_GT(compared, 200);
}

// A run whose stack fills and empties with long forms takes a few
// allocations: the stack's slots and several blocks of form pieces.
// Failing each one in turn ends the run with the message after a correct
// start of the output, and leaves nothing behind.
TEST(RunTest, OutOfMemoryAnywhereEndsWithMessage) {
  const std::string_view grammar = "S -> aSbScSdS\nS -> SSSSSSSS\nS -> aaaaaaaa\n";
  // Both buffers are reserved up front, so that capturing never allocates.
  std::string full, printed;
  full.reserve(1 << 20);
  printed.reserve(1 << 20);
  long before = allocations_made;
  ASSERT_EQ(run_captured(grammar, full), 0);
  long allocations = allocations_made - before;
  ASSERT_GE(allocations, 5);
  const std::string message = "Out of memory.\n";
  for (long allowed = 0; allowed <= allocations; ++allowed) {
    allocations_left = allowed;
    int status = run_captured(grammar, printed);
    allocations_left = -1;
    if (allowed == allocations) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(printed, full);
      break;
    }
    ASSERT_EQ(status, 1) << "allocation " << allowed;
    ASSERT_GE(printed.size(), message.size());
    size_t kept = printed.size() - message.size();
    EXPECT_EQ(printed.substr(kept), message);
    EXPECT_EQ(printed.substr(0, kept), full.substr(0, kept));
    EXPECT_EQ(form_pieces_in_use(), 0u);
  }
  EXPECT_TRUE(stack_is_empty());
}

// A traced run takes more allocations, the records' blocks; failing each
// one ends the run as out of memory, with every record given back.
TEST(RunTest, TracedRunOutOfMemoryGivesRecordsBack) {
  const std::string_view grammar = "S -> aSbScSdS\nS -> SSSSSSSS\nS -> aaaaaaaa\n";
  std::string printed;
  printed.reserve(1 << 20);
  run_trace trace{};
  for (long allowed = 0;; ++allowed) {
    allocations_left = allowed;
    captured_run run = capture_run([grammar, &trace] { return run_bytes_traced(grammar, trace); },
                                   std::move(printed));
    int status = run.status;
    printed = std::move(run.out);
    allocations_left = -1;
    EXPECT_EQ(trace_records_made(), 0u);
    EXPECT_EQ(form_pieces_in_use(), 0u);
    if (status == 0) {
      EXPECT_NE(trace.end, RUN_OUT_OF_MEMORY);
      break;
    }
    ASSERT_EQ(trace.end, RUN_OUT_OF_MEMORY) << "allocation " << allowed;
    ASSERT_LT(allowed, 1000);
  }
}

TEST(RunTest, RunsAreIndependent) {
  std::string first, other, again;
  ASSERT_EQ(run_captured("S -> SS\nS -> aaaaaaaaa\n", first), 0);
  ASSERT_EQ(run_captured("A -> xA\nA -> @\n", other), 0);
  ASSERT_EQ(run_captured("S -> SS\nS -> aaaaaaaaa\n", again), 0);
  EXPECT_EQ(first, again);
  EXPECT_NE(other.find("\nxx\n"), std::string::npos);
}

}  // namespace
