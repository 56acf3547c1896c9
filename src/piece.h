// SPDX-License-Identifier: MIT
// Piece module: the pieces that forms keep their text in, the pool they
// come from, and the copy and scan kernels over their bytes. Shared by the
// form, printing and reading modules; the search never sees a piece.
#ifndef SENTGEN_PIECE_H
#define SENTGEN_PIECE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "grammar.h"

// A piece of form text. A byte of it never changes once written, so any
// number of forms may share it; `refs` counts the forms and pieces that
// point to it. Its text is `text` followed by the text of its extra chain.
// Only a piece without an extra chain grows, and only a form's last head
// piece: its forms see the first `head_size` bytes, and a piece that another
// points to is full or has an extra chain, so it is always seen whole.
// There are three kinds, told apart by the chain they hang in. A form's two
// chains both start at its leftmost nonterminal and go outward from it:
//  - head pieces hold terminals, and `outer` is the piece before;
//  - tail pieces hold a nonterminal somewhere in `text`, the first piece of
//    a tail starting with the leftmost one, and `outer` is the piece after;
//  - extra pieces hold terminals and hang from another piece's `extra`, to
//    make a long text out of short pieces; `outer` is null.
struct form_piece {
  form_piece* outer;  // the next piece of its chain, further from the leftmost nonterminal
  form_piece* extra;  // an extra piece with the terminals after `text`, or null
  size_t length;      // bytes in `text` and in the whole extra chain
  uint32_t refs;      // forms and pieces that point here
  uint8_t size;       // bytes used in `text`
  char text[35];      // the piece's own bytes
};

constexpr size_t PIECE_TEXT = sizeof form_piece::text;
// 64 bytes, a cache line: a long sentence is more than half text, so the
// pages its pieces take, each faulted in once, are less than twice its
// length, while a copy of a piece stays short.
static_assert(sizeof(void*) != 8 || sizeof(form_piece) == 64,
              "a piece takes 64 bytes on a 64-bit system, with no padding");

// The most new pieces one child of a step takes: an alternative (9 bytes)
// and the terminals after the replaced nonterminal, up to the next one,
// join the head in at most three (a copy of the last piece, one more, an
// extra piece), and the tail takes one more or, for an alternative with a
// nonterminal, two; the terminals that siblings share take two, made for
// the first child, whose head then takes two at most. They are stocked
// before the child is built, so that running out of memory never leaves it
// half made; the checked build holds every child to it.
constexpr size_t PIECES_PER_CHILD = 4;
// Pieces come from the heap in blocks of this many, some 64 KB, kept until
// the run ends, so that a long run takes memory from the system a few
// times and never gives it back and faults it in again. A block's pieces
// are handed out in order, so that a form built in a row lies in a row and
// pages never reached take no memory; a released piece waits among the
// spares for the next steps, which make about as many as their parents'
// release frees.
constexpr size_t PIECES_PER_BLOCK = 1023;
static_assert(PIECES_PER_BLOCK >= PIECES_PER_CHILD, "one block stocks a child");

struct piece_block {
  piece_block* next;                    // the block made before this one
  form_piece pieces[PIECES_PER_BLOCK];  // the pieces it holds
};

// Where pieces come from: the one pool of the run.
struct piece_pool {
  piece_block* blocks;   // every block made, newest first
  size_t block_unused;   // pieces never handed out, at the end of the newest
  form_piece* spares;    // pieces released, chained by `outer`
  size_t spare_count;    // pieces in `spares`
  size_t in_use;         // pieces held by forms
};
extern piece_pool piece_store;  // the pieces of the run

// Makes sure that `count` pieces can be taken without allocating: a new
// block, when the spares and the newest block's rest are too few.
void piece_stock_block();
static inline void piece_stock(size_t count) {
  if (piece_store.spare_count + piece_store.block_unused < count) piece_stock_block();
}

static inline form_piece* piece_take() {
  ++piece_store.in_use;
  if (piece_store.spare_count == 0) {
    return &piece_store.blocks->pieces[PIECES_PER_BLOCK - piece_store.block_unused--];
  }
  form_piece* piece = piece_store.spares;
  piece_store.spares = piece->outer;
  --piece_store.spare_count;
  return piece;
}

static inline form_piece* piece_hold(form_piece* piece) {
  if (piece != nullptr) ++piece->refs;
  return piece;
}

// Gives back `piece`, left without references, and drops its own
// references in turn.
void piece_free(form_piece* piece);
// Drops a reference to `piece`. Mostly others hold it still, so that
// case is kept small enough to inline.
static inline void piece_release(form_piece* piece) {
  if (piece != nullptr && --piece->refs == 0) piece_free(piece);
}

// Releases a piece when it goes out of scope, while a form is being built.
struct piece_releaser {
  void operator()(form_piece* piece) const { piece_release(piece); }
};
using piece_holder = std::unique_ptr<form_piece, piece_releaser>;

static inline std::string_view piece_text(const form_piece* piece) { return {piece->text, piece->size}; }

// Copies `bytes`, at most 64 bytes, to `to` and returns its end.
// Two fixed-size copies that may overlap cover any size in their range, and
// fixed-size copies inline, where a call to copy a few bytes costs more than
// the copy.
static inline char* piece_copy(char* to, std::string_view bytes) {
  static_assert(RHS_SLOT_SIZE - 1 + PIECE_TEXT <= 64, "two copies of 32 bytes cover what is copied");
  const char* from = bytes.data();
  size_t n = bytes.size();
  if (n >= 32) {
    std::memcpy(to, from, 32);
    std::memcpy(to + n - 32, from + n - 32, 32);
  } else if (n >= 8) {
    if (n >= 16) {
      std::memcpy(to, from, 16);
      std::memcpy(to + n - 16, from + n - 16, 16);
    } else {
      std::memcpy(to, from, 8);
      std::memcpy(to + n - 8, from + n - 8, 8);
    }
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
  return to + n;
}

// A stocked piece with the text `a` + `b` (PIECE_TEXT bytes at most), whose
// extra chain is `extra` and whose next piece is `outer`: it takes over
// both references.
static inline form_piece* piece_make(std::string_view a, std::string_view b, form_piece* extra,
                              form_piece* outer) {
  form_piece* piece = piece_take();
  piece->outer = outer;
  piece->extra = extra;
  piece->refs = 1;
  char* end = piece_copy(piece->text, a);
  if (!b.empty()) piece_copy(end, b);
  piece->size = static_cast<uint8_t>(a.size() + b.size());
  piece->length = piece->size + (extra != nullptr ? extra->length : 0);
  return piece;
}

// Whether any of the 8 bytes of `word` is a nonterminal, A to Z: each
// byte's high bit is set by arithmetic that carries into no other byte.
static inline bool piece_word_has_nonterminal(uint64_t word) {
  constexpr uint64_t ONES = ~uint64_t{0} / 255;       // 0x0101...01
  uint64_t low = word & ONES * 127;                   // each byte's low 7 bits
  uint64_t below_z = ONES * (127 + 'Z' + 1) - low;    // high bit: byte <= 'Z'
  uint64_t above_a = low + ONES * (127 - ('A' - 1));  // high bit: byte >= 'A'
  return (below_z & above_a & ~word & ONES * 128) != 0;
}

// Index of the first nonterminal in `text`, or its size when there is none.
// It looks at 8 bytes at a time: terminals run long in a form's pieces.
static inline size_t piece_first_nonterminal(std::string_view text) {
  // Mostly a nonterminal stands first: the one after the one replaced.
  if (!text.empty() && is_nonterminal(text[0])) return 0;
  size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    if (piece_word_has_nonterminal(word)) break;
  }
  while (at < text.size() && !is_nonterminal(text[at])) ++at;
  return at;
}

// The tail of every dead end, one a nonterminal. Those forms hold no
// reference to it, so that making and dropping them counts nothing; the
// few that are released rather than dropped (at a run's end, or in tests)
// count down from more than a run can release, set again when a run ends,
// so that it is never given back.
constexpr uint32_t DEAD_END_REFS = UINT32_MAX / 2;
extern std::array<form_piece, NONTERMINAL_COUNT> piece_dead_end_tails;

// Returns every block to the heap once no form holds a piece, and sets the
// dead ends' references again.
void piece_free_blocks();

#endif
