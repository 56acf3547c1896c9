// SPDX-License-Identifier: MIT
// Form module: how a sentential form is kept. Its text lives in shared
// pieces whose bytes never change once written, so that a child costs a
// few pieces whatever its length, and mostly none.
#include "form.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "grammar.h"
#include "output.h"

// A piece of form text. A byte of it never changes once written, so any
// number of forms may share it; `refs` counts the forms and pieces that
// point to it. Its text is `text` followed by the text of its extra chain.
// Only a piece without an extra chain grows, and only a form's last head
// piece: its forms see the first `head_size` bytes, and a piece that another
// links to is full or has an extra chain, so a link always sees it whole.
// There are three kinds, told apart by the chain they hang in:
//  - head pieces hold terminals; `link` is the piece before;
//  - tail pieces hold a nonterminal somewhere in `text`, and the first piece
//    of a tail starts with the leftmost one; `link` is the piece after;
//  - extra pieces hold terminals and hang from another piece's `extra`, to make
//    a long text out of short pieces; `link` is null.
struct form_piece {
  form_piece* link;  // head: the piece before; tail: the piece after
  form_piece* extra;  // an extra piece with the terminals after `text`, or null
  size_t length;      // bytes in `text` and in the whole extra chain
  uint32_t refs;    // forms and pieces that point here
  uint8_t size;     // bytes used in `text`
  char text[35];    // the piece's own bytes
};

namespace {

constexpr size_t PIECE_TEXT = sizeof form_piece::text;
// 64 bytes, a cache line: a long sentence is more than half text, so the
// pages its pieces take, each faulted in once, are less than twice its
// length, while a copy of a piece stays short.
static_assert(sizeof(void*) != 8 || sizeof(form_piece) == 64,
              "a piece takes 64 bytes on a 64-bit system, with no padding");
// The head takes an alternative and the rest of a tail piece at once.
static_assert(RHS_SLOT_SIZE - 1 + PIECE_TEXT <= 2 * PIECE_TEXT, "fits two pieces");

// One child takes at most this many pieces: two appends to the head, of
// three each, and a tail piece. They are stocked before the child is built,
// so that running out of memory never leaves it half made.
constexpr size_t PIECES_PER_CHILD = 7;
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

piece_block* piece_blocks = nullptr;  // every block made, newest first
size_t block_unused = 0;              // pieces never handed out, at the end of the newest
form_piece* spare_pieces = nullptr;    // pieces released, chained by `link`
size_t spare_count = 0;               // pieces in spare_pieces
size_t pieces_in_use = 0;             // pieces held by forms

// Makes sure that `count` pieces can be taken without allocating.
void piece_stock(size_t count) {
  if (spare_count + block_unused >= count) return;
  piece_block* block = new piece_block;
  // The old block's unused pieces join the spares, to be used first.
  for (; block_unused > 0; --block_unused) {
    form_piece& piece = piece_blocks->pieces[PIECES_PER_BLOCK - block_unused];
    piece.link = spare_pieces;
    spare_pieces = &piece;
    ++spare_count;
  }
  block->next = piece_blocks;
  piece_blocks = block;
  block_unused = PIECES_PER_BLOCK;
}

form_piece* piece_take() {
  ++pieces_in_use;
  if (spare_count == 0) return &piece_blocks->pieces[PIECES_PER_BLOCK - block_unused--];
  form_piece* piece = spare_pieces;
  spare_pieces = piece->link;
  --spare_count;
  return piece;
}

void piece_give_back(form_piece* piece) {
  --pieces_in_use;
  piece->link = spare_pieces;
  spare_pieces = piece;
  ++spare_count;
}

form_piece* piece_hold(form_piece* piece) {
  if (piece != nullptr) ++piece->refs;
  return piece;
}

// The tail of every form made by form_dead_end, one a nonterminal. Those
// forms hold no reference to it, so that making and dropping them counts
// nothing; the few that are released rather than dropped (at a run's end,
// or in tests) count down from more than a run can release, set again when
// a run ends, so that it is never given back.
constexpr uint32_t DEAD_END_REFS = UINT32_MAX / 2;
constexpr std::array<form_piece, NONTERMINAL_COUNT> dead_end_tails_made() {
  std::array<form_piece, NONTERMINAL_COUNT> tails{};
  for (size_t n = 0; n < tails.size(); ++n) {
    tails[n].length = tails[n].size = 1;
    tails[n].refs = DEAD_END_REFS;
    tails[n].text[0] = static_cast<char>('A' + n);
  }
  return tails;
}
std::array<form_piece, NONTERMINAL_COUNT> dead_end_tails = dead_end_tails_made();

// Gives back `piece`, left without references, and drops its own references
// in turn. Loops, not recursion: chains are long.
void piece_free(form_piece* piece) {
  do {
    form_piece* extra = piece->extra;
    while (extra != nullptr && --extra->refs == 0) {
      form_piece* next = extra->extra;
      piece_give_back(extra);
      extra = next;
    }
    form_piece* next = piece->link;
    piece_give_back(piece);
    piece = next;
  } while (piece != nullptr && --piece->refs == 0);
}

// Drops a reference to `piece`. Mostly others hold it still, so that
// case is kept small enough to inline.
inline void piece_release(form_piece* piece) {
  if (piece != nullptr && --piece->refs == 0) piece_free(piece);
}

// Releases a piece when it goes out of scope, while a form is being built.
struct piece_releaser {
  void operator()(form_piece* piece) const { piece_release(piece); }
};
using piece_holder = std::unique_ptr<form_piece, piece_releaser>;

std::string_view piece_text(const form_piece* piece) { return {piece->text, piece->size}; }

// The bytes of a form's last head piece and of its first tail piece that
// are the form's own.
std::string_view head_text(const sentential_form& form) { return {form.head->text, form.head_size}; }
std::string_view tail_text(const sentential_form& form) {
  return piece_text(form.tail).substr(form.tail_skip);
}

// Copies `bytes`, at most 64 bytes, to `to` and returns its end.
// Two fixed-size copies that may overlap cover any size in their range, and
// fixed-size copies inline, where a call to copy a few bytes costs more than
// the copy.
inline char* piece_copy(char* to, std::string_view bytes) {
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
// extra chain is `extra` and whose link is `link`: it takes over both references.
form_piece* piece_make(std::string_view a, std::string_view b, form_piece* extra, form_piece* link) {
  form_piece* piece = piece_take();
  piece->link = link;
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
bool word_has_nonterminal(uint64_t word) {
  constexpr uint64_t ONES = ~uint64_t{0} / 255;       // 0x0101...01
  uint64_t low = word & ONES * 127;                   // each byte's low 7 bits
  uint64_t below_z = ONES * (127 + 'Z' + 1) - low;    // high bit: byte <= 'Z'
  uint64_t above_a = low + ONES * (127 - ('A' - 1));  // high bit: byte >= 'A'
  return (below_z & above_a & ~word & ONES * 128) != 0;
}

// Index of the first nonterminal in `text`, or its size when there is none.
// It looks at 8 bytes at a time: terminals run long in a form's pieces.
size_t first_nonterminal(std::string_view text) {
  // Mostly a nonterminal stands first: the one after the one replaced.
  if (!text.empty() && is_nonterminal(text[0])) return 0;
  size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    if (word_has_nonterminal(word)) break;
  }
  while (at < text.size() && !is_nonterminal(text[at])) ++at;
  return at;
}

// Makes `bytes` the text of `piece`, which has no extra chain, from byte
// `at` on, without changing a byte that any form sees: either no form sees
// past `at` and they fit, or another form wrote the same bytes there.
bool piece_claim(form_piece* piece, size_t at, std::string_view bytes) {
  size_t n = bytes.size();
  if (piece->size == at) {
    if (n > PIECE_TEXT - at) return false;
    piece_copy(piece->text + at, bytes);
    piece->size = static_cast<uint8_t>(at + n);
    piece->length += n;
    return true;
  }
  // A few bytes, mostly one: a loop costs less than a call to compare.
  if (n > piece->size - at) return false;
  for (size_t k = 0; k < n; ++k) {
    if (piece->text[at + k] != bytes[k]) return false;
  }
  return true;
}

// The head whose last piece is `head`, of which `size` bytes are seen,
// followed by `bytes` (two pieces' worth at most) and the extra chain
// `extra`, whose reference it takes over; `size` becomes the bytes of the
// new last piece that are seen. Takes three pieces at most.
form_piece* head_append(form_piece* head, uint8_t& size, std::string_view bytes,
                        form_piece* extra) {
  if (bytes.empty() && extra == nullptr) return piece_hold(head);
  form_piece* link = head;  // the piece that the new last one follows
  if (head != nullptr && head->extra == nullptr && size < PIECE_TEXT) {
    size_t fill = std::min(bytes.size(), PIECE_TEXT - size);
    bool fits = fill == bytes.size();
    if ((!fits || extra == nullptr) && piece_claim(head, size, bytes.substr(0, fill))) {
      // Written in place or found there: a piece that overflows is full now,
      // and the rest follows it.
      piece_hold(head);
      if (fits) {
        size = static_cast<uint8_t>(size + fill);
        return head;
      }
    } else {
      // A longer copy of a short last piece keeps heads from growing a
      // piece a step; one that overflows it fills the copy up, so that a
      // long head holds full pieces: fewer to keep, and to walk when it is
      // printed.
      link = piece_make({head->text, size}, bytes.substr(0, fill), fits ? extra : nullptr,
                        piece_hold(head->link));
      if (fits) {
        size = link->size;
        return link;
      }
    }
    bytes = bytes.substr(fill);
  } else {
    piece_hold(link);
  }
  if (bytes.size() > PIECE_TEXT) {
    extra = piece_make(bytes.substr(PIECE_TEXT), {}, extra, nullptr);
    bytes = bytes.substr(0, PIECE_TEXT);
  }
  form_piece* last = piece_make(bytes, {}, extra, link);
  size = last->size;
  return last;
}

// head_append's common case, small enough to inline: `bytes` fit in the
// head's last piece, where they are written, found, or added to a copy.
inline form_piece* head_add(form_piece* head, uint8_t& size, std::string_view bytes) {
  if (head == nullptr || head->extra != nullptr || bytes.size() > PIECE_TEXT - size) {
    return head_append(head, size, bytes, nullptr);
  }
  if (piece_claim(head, size, bytes)) {
    size = static_cast<uint8_t>(size + bytes.size());
    return piece_hold(head);
  }
  form_piece* last = piece_make({head->text, size}, bytes, nullptr, piece_hold(head->link));
  size = last->size;
  return last;
}

// Extra pieces that hold `bytes`, two pieces' worth at most, or null
// when there are none.
form_piece* extra_make(std::string_view bytes) {
  if (bytes.empty()) return nullptr;
  form_piece* more = nullptr;
  if (bytes.size() > PIECE_TEXT) more = piece_make(bytes.substr(PIECE_TEXT), {}, nullptr, nullptr);
  return piece_make(bytes.substr(0, PIECE_TEXT), {}, more, nullptr);
}

// The tail that starts with `front`, a nonterminal and the rest of an
// alternative, and goes on with `text`, the extra chain `extra` and the tail
// pieces `link`, all of which it shares. Takes two pieces at most.
form_piece* tail_make(std::string_view front, std::string_view text, form_piece* extra,
                     form_piece* link) {
  if (front.size() + text.size() <= PIECE_TEXT) {
    return piece_make(front, text, piece_hold(extra), piece_hold(link));
  }
  if (first_nonterminal(text) < text.size()) {
    return piece_make(front, {}, nullptr, piece_make(text, {}, piece_hold(extra), piece_hold(link)));
  }
  return piece_make(front, {}, piece_make(text, {}, piece_hold(extra), nullptr), piece_hold(link));
}

}  // namespace

void form_step_find(form_step& step) {
  const form_piece* first = step.parent.tail;
  std::string_view after = tail_text(step.parent).substr(1);
  step.next_at = static_cast<uint8_t>(first_nonterminal(after));
  if (step.next_at < after.size()) {
    step.next = after[step.next_at];
  } else if (first->link != nullptr) {  // the next piece holds one
    step.next_skip = static_cast<uint8_t>(first_nonterminal(piece_text(first->link)));
    step.next = first->link->text[step.next_skip];
  }
}

void form_dead_end(size_t length, char leftmost, sentential_form& child) {
  form_piece* tail = &dead_end_tails[static_cast<size_t>(leftmost - 'A')];
  child.tail = tail;
  child.length = length;
  child.leftmost = leftmost;
  child.fate = FORM_DEAD_END;
}

namespace {

// form_derive for a child that holds a nonterminal that derives no
// sentence, given the parent's text after its leftmost nonterminal: no form
// made from it is printed, so it has no head, and a step costs its tail
// alone, which the search reads. Such a form always holds
// a nonterminal after the one replaced.
void form_derive_tail(form_step& step, std::string_view alternative, size_t lead,
                      std::string_view after, sentential_form& child) {
  const sentential_form& parent = step.parent;
  form_piece* first = parent.tail;
  child.fate = FORM_DOOMED;
  if (lead < alternative.size()) {
    child.leftmost = alternative[lead];
    if (lead + 1 == alternative.size() && alternative[lead] == form_leftmost(parent)) {
      child.tail = piece_hold(first);
      child.tail_skip = parent.tail_skip;
    } else {
      child.tail = tail_make(alternative.substr(lead), after, first->extra, first->link);
    }
    return;
  }
  child.leftmost = form_step_next(step);
  if (step.next_at < after.size()) {  // in the same piece
    child.tail = piece_hold(first);
    child.tail_skip = static_cast<uint8_t>(parent.tail_skip + 1 + step.next_at);
  } else {
    child.tail = piece_hold(first->link);
    child.tail_skip = step.next_skip;
  }
}

}  // namespace

// Builds in `child` the form `parent` with its leftmost nonterminal
// replaced by `alternative`, sharing every piece it can. Of the parent it
// reads only the last head piece and the first two tail pieces, so this
// costs the same for any length. Takes PIECES_PER_CHILD pieces at most,
// stocked first, so that running out of memory never leaves it half made.
void form_derive(form_step& step, std::string_view alternative, size_t lead,
                 sentential_form& child, bool doomed) {
  piece_stock(PIECES_PER_CHILD);
  const sentential_form& parent = step.parent;
  form_piece* first = parent.tail;
  std::string_view after = tail_text(parent).substr(1);  // after the nonterminal
  child.length = parent.length - 1 + alternative.size();
  if (doomed) {
    form_derive_tail(step, alternative, lead, after, child);
    return;
  }
  child.head_size = parent.head_size;
  if (lead < alternative.size()) {
    child.leftmost = alternative[lead];
    child.head = head_add(parent.head, child.head_size, alternative.substr(0, lead));
    // An alternative that ends with the nonterminal it replaces, as in
    // "M -> aM", leaves the tail as it was: the child shares its first piece.
    if (lead + 1 == alternative.size() && alternative[lead] == form_leftmost(parent)) {
      child.tail = piece_hold(first);
      child.tail_skip = parent.tail_skip;
    } else {
      child.tail = tail_make(alternative.substr(lead), after, first->extra, first->link);
    }
    return;
  }
  // All terminals: they and the terminals after the nonterminal, up to the
  // next nonterminal, join the head. Where that is, is found once a step.
  child.leftmost = form_step_next(step);
  form_piece* next = first->link;  // holds a nonterminal, or is null
  char joined[RHS_SLOT_SIZE + 2 * PIECE_TEXT];
  // Each child takes a reference to the shared carry; the one it is made
  // for takes the reference it is made with.
  form_piece* carry = piece_hold(step.carry);
  if (!step.carry_decided) {  // where the next nonterminal is, was found just above
    step.carry_decided = true;
    if (step.next_at == after.size() && next != nullptr) {
      // Siblings share them, and so does an only child whose alternative
      // and they could take more than one append of two pieces' worth.
      size_t carried = after.size() + step.next_skip;
      bool one_append = RHS_SLOT_SIZE - 1 + carried <= 2 * PIECE_TEXT;
      if (first->extra == nullptr && (step.siblings || !one_append)) {
        char* end = piece_copy(piece_copy(joined, after), piece_text(next).substr(0, step.next_skip));
        carry = step.carry = extra_make({joined, static_cast<size_t>(end - joined)});
      }
    }
  }
  size_t q = step.next_at;
  if (q < after.size()) {
    std::string_view added = alternative;
    if (q > 0) {
      piece_copy(piece_copy(joined, alternative), after.substr(0, q));
      added = {joined, alternative.size() + q};
    }
    child.head = head_add(parent.head, child.head_size, added);
    child.tail = piece_hold(first);  // from its next nonterminal on
    child.tail_skip = static_cast<uint8_t>(parent.tail_skip + 1 + q);
    return;
  }
  size_t q2 = step.next_skip;
  if (next != nullptr && first->extra == nullptr) {
    // The next nonterminal stands in the next piece. Siblings share the
    // terminals before it, in extra pieces after their alternatives; an
    // only child takes them in the same append, so that its last head
    // piece, with no extra chain, can still grow.
    if (carry != nullptr) {
      child.head = head_append(parent.head, child.head_size, alternative, carry);
    } else {
      char* end = piece_copy(piece_copy(piece_copy(joined, alternative), after),
                             piece_text(next).substr(0, q2));
      std::string_view added{joined, static_cast<size_t>(end - joined)};
      child.head = head_append(parent.head, child.head_size, added, nullptr);
    }
    child.tail = piece_hold(next);
    child.tail_skip = static_cast<uint8_t>(q2);
    return;
  }
  piece_copy(piece_copy(joined, alternative), after);
  form_piece* head = head_append(parent.head, child.head_size,
                                 {joined, alternative.size() + after.size()}, piece_hold(first->extra));
  if (next == nullptr) {
    child.head = head;  // a sentence
    return;
  }
  child.head = head_append(head, child.head_size, piece_text(next).substr(0, q2), nullptr);
  piece_release(head);
  child.tail = piece_hold(next);
  child.tail_skip = static_cast<uint8_t>(q2);
}

namespace {

// A sentence this long is printed at the start of the output's buffer,
// where the last one was: sentences of one search mostly share their start,
// and the bytes already there need not be walked to again. Shorter ones are
// not worth the write that placing them there costs.
constexpr size_t PRINT_LONG_LINE = 4096;
// The head of the last long sentence printed, held, its length and the
// bytes of its last piece it saw: the pieces that the next one shares with
// it end at the same byte.
form_piece* print_last_head = nullptr;
size_t print_last_length = 0;
uint8_t print_last_size = 0;

// Writes the first `size` bytes of `piece`'s own text and its extra chain
// to `at`.
void piece_write(const form_piece* piece, size_t size, char* at) {
  at = piece_copy(at, {piece->text, size});
  for (const form_piece* p = piece->extra; p != nullptr; p = p->extra) {
    at = piece_copy(at, piece_text(p));
  }
}

// Writes the head pieces of `form` into `line`, from its end back to byte
// `kept`: the bytes before that are there already, from the last long
// sentence, when a piece of its head ends there.
void print_head(const sentential_form& form, char* line, size_t kept) {
  const form_piece* last = print_last_head;  // walked back alongside
  size_t last_end = print_last_length;       // where `last` ends
  size_t last_size = print_last_size;        // bytes of `last`'s own text seen
  size_t end = form.length;
  size_t size = form.head_size;  // bytes of `piece`'s own text seen
  for (const form_piece* piece = form.head; piece != nullptr; piece = piece->link) {
    if (end <= kept && kept > 0) {
      while (last != nullptr && last_end > end) {
        last_end -= last->length - last->size + last_size;
        last = last->link;
        if (last != nullptr) last_size = last->size;
      }
      // The same piece starts at the same byte in both; ending at the same
      // byte, it and all before it are there.
      if (last == piece && last_end == end) return;
    }
    end -= piece->length - piece->size + size;
    piece_write(piece, size, line + end);
    if (piece->link != nullptr) size = piece->link->size;
  }
}

}  // namespace

// Writes the sentence `form` and a newline. The head's pieces go from last
// to first, so they fill the line from its end.
void form_print(const sentential_form& form) {
  if (form.length + 1 < PRINT_LONG_LINE) {
    output_fill(form.length + 1, [&form](char* line) {
      line[form.length] = '\n';
      print_head(form, line, 0);
    });
    return;
  }
  size_t kept = 0;
  char* line = output_line_room(form.length + 1, kept);
  line[form.length] = '\n';
  print_head(form, line, kept);
  piece_release(std::exchange(print_last_head, piece_hold(form.head)));
  print_last_length = form.length;
  print_last_size = form.head_size;
}

namespace {

// Appends `own`, bytes of a piece's own text, and its extra chain's to `out`.
void piece_append_text(const form_piece* piece, std::string_view own, std::string& out) {
  out.append(own);
  for (piece = piece->extra; piece != nullptr; piece = piece->extra) out.append(piece_text(piece));
}

// Checks a piece and its extra chain: references, sizes and `length`, and that
// only the piece's own text, if `nonterminals`, holds a nonterminal.
// Adds the bytes to `total`.
bool piece_is_sound(const form_piece* piece, bool nonterminals, size_t& total) {
  size_t length = 0;
  for (const form_piece* p = piece; p != nullptr; p = p->extra) {
    bool has_nonterminal = first_nonterminal(piece_text(p)) < p->size;
    if (p->refs == 0 || p->size > PIECE_TEXT || has_nonterminal != (nonterminals && p == piece) ||
        (p != piece && p->link != nullptr)) {
      return false;
    }
    length += p->size;
  }
  for (const form_piece* p = piece; p != nullptr; p = p->extra) {
    if (p->length != length) return false;
    length -= p->size;
  }
  total += piece->length;
  return true;
}

}  // namespace

void form_release(sentential_form& form) {
  piece_release(form.head);
  piece_release(form.tail);
}

size_t form_tail_length(const sentential_form& form) {
  size_t length = 0;
  for (const form_piece* piece = form.tail; piece != nullptr; piece = piece->link) {
    length += piece->length;
  }
  return length - form.tail_skip;
}

sentential_form form_from_text(std::string_view text) {
  sentential_form form;
  form.length = text.size();
  size_t k = first_nonterminal(text);
  for (size_t at = 0; at < k; at += PIECE_TEXT) {
    piece_stock(1);
    form.head = piece_make(text.substr(at, std::min(PIECE_TEXT, k - at)), {}, nullptr, form.head);
    form.head_size = form.head->size;
  }
  // One tail piece for each nonterminal and the terminals after it, which
  // go on in extra pieces; built from the end, since each links to the next.
  size_t end = text.size();
  while (end > k) {
    size_t start = end - 1;
    while (!is_nonterminal(text[start])) --start;
    std::string_view segment = text.substr(start, end - start);
    size_t own = std::min(segment.size(), PIECE_TEXT);
    piece_holder extra;
    for (size_t at = segment.size(); at > own;) {
      size_t from = std::max(own, at - PIECE_TEXT);
      piece_stock(1);
      extra.reset(piece_make(segment.substr(from, at - from), {}, extra.release(), nullptr));
      at = from;
    }
    piece_stock(1);
    form.tail = piece_make(segment.substr(0, own), {}, extra.release(), form.tail);
    end = start;
  }
  form.leftmost = k < text.size() ? text[k] : '\0';
  return form;
}

std::string form_text(const sentential_form& form) {
  std::vector<const form_piece*> head;
  for (const form_piece* piece = form.head; piece != nullptr; piece = piece->link) {
    head.push_back(piece);
  }
  std::string text;
  for (auto piece = head.rbegin(); piece != head.rend(); ++piece) {
    piece_append_text(*piece, *piece == form.head ? head_text(form) : piece_text(*piece), text);
  }
  for (const form_piece* piece = form.tail; piece != nullptr; piece = piece->link) {
    piece_append_text(piece, piece == form.tail ? tail_text(form) : piece_text(piece), text);
  }
  return text;
}

bool form_is_sound(const sentential_form& form) {
  size_t total = 0;
  if (form_is_dead_end(form)) return false;
  if (form_is_doomed(form) && (form.head != nullptr || form.tail == nullptr)) return false;
  if (form.head == nullptr ? form.head_size != 0
                           : form.head_size > form.head->size ||
                                 (form.head->extra != nullptr && form.head_size != form.head->size)) {
    return false;
  }
  for (const form_piece* piece = form.head; piece != nullptr; piece = piece->link) {
    // A piece linked to is seen whole: it can grow no more.
    bool whole = piece->size == PIECE_TEXT || piece->extra != nullptr;
    if (!piece_is_sound(piece, false, total) || (piece != form.head && !whole)) return false;
  }
  if (form.tail == nullptr ? form.tail_skip != 0 || form.leftmost != '\0'
                           : form.tail_skip >= form.tail->size ||
                                 !is_nonterminal(form.tail->text[form.tail_skip]) ||
                                 form.leftmost != form.tail->text[form.tail_skip]) {
    return false;
  }
  for (const form_piece* piece = form.tail; piece != nullptr; piece = piece->link) {
    if (!piece_is_sound(piece, true, total)) return false;
  }
  if (form.head != nullptr) total -= form.head->size - form.head_size;  // bytes not seen
  // A doomed form keeps no head: its length counts bytes it does not keep.
  return form_is_doomed(form) ? total - form.tail_skip <= form.length
                              : total - form.tail_skip == form.length;
}

size_t form_pieces_in_use() { return pieces_in_use; }

// Returns every block to the heap once no form holds a piece.
void form_free_blocks() {
  piece_release(std::exchange(print_last_head, nullptr));
  for (form_piece& tail : dead_end_tails) tail.refs = DEAD_END_REFS;
  if (pieces_in_use != 0) return;
  while (piece_blocks != nullptr) {
    piece_block* next = piece_blocks->next;
    delete piece_blocks;
    piece_blocks = next;
  }
  block_unused = 0;
  spare_pieces = nullptr;
  spare_count = 0;
}
