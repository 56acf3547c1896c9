// SPDX-License-Identifier: MIT
// Form module: how a sentential form is kept and how a step makes its
// children. Its text lives in shared pieces (piece.h) whose bytes never
// change once written, so that a child costs a few pieces whatever its
// length, and mostly none.
#include "form.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "piece.h"

std::string_view form_head_text(const sentential_form& form) {
  return {form.head->text, form.head_size};
}

std::string_view form_tail_text(const sentential_form& form) {
  return piece_text(form.tail).substr(form.tail_skip);
}

// A step's hottest builder, which makes most tails: its copies are a few
// moves each, inlined whole, where a call would cost as much as the copy.
#if defined(__GNUC__)
#define FORM_FLATTEN __attribute__((flatten))
#else
#define FORM_FLATTEN
#endif

namespace {

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
  form_piece* outer = head;  // the piece that the new last one follows
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
      outer = piece_make({head->text, size}, bytes.substr(0, fill), fits ? extra : nullptr,
                        piece_hold(head->outer));
      if (fits) {
        size = outer->size;
        return outer;
      }
    }
    bytes = bytes.substr(fill);
  } else {
    piece_hold(outer);
  }
  if (bytes.size() > PIECE_TEXT) {
    extra = piece_make(bytes.substr(PIECE_TEXT), {}, extra, nullptr);
    bytes = bytes.substr(0, PIECE_TEXT);
  }
  form_piece* last = piece_make(bytes, {}, extra, outer);
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
  form_piece* last = piece_make({head->text, size}, bytes, nullptr, piece_hold(head->outer));
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
// pieces from `outer` on, all of which it shares. Takes two pieces at most.
FORM_FLATTEN form_piece* tail_make(std::string_view front, std::string_view text, form_piece* extra,
                     form_piece* outer) {
  if (front.size() + text.size() <= PIECE_TEXT) {
    return piece_make(front, text, piece_hold(extra), piece_hold(outer));
  }
  if (piece_first_nonterminal(text) < text.size()) {
    return piece_make(front, {}, nullptr, piece_make(text, {}, piece_hold(extra), piece_hold(outer)));
  }
  return piece_make(front, {}, piece_make(text, {}, piece_hold(extra), nullptr), piece_hold(outer));
}

}  // namespace

void form_family_find(form_family& family) {
  const form_piece* first = family.parent.tail;
  std::string_view after = form_tail_text(family.parent).substr(1);
  family.next_at = static_cast<uint8_t>(piece_first_nonterminal(after));
  if (family.next_at < after.size()) {
    family.next = after[family.next_at];
  } else if (first->outer != nullptr) {  // the next piece holds one
    family.next_skip = static_cast<uint8_t>(piece_first_nonterminal(piece_text(first->outer)));
    family.next = first->outer->text[family.next_skip];
  }
}

void form_dead_end(size_t length, char leftmost, sentential_form& child) {
  form_piece* tail = &piece_dead_end_tails[static_cast<size_t>(leftmost - 'A')];
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
void form_derive_tail(form_family& family, std::string_view alternative, size_t lead,
                      std::string_view after, sentential_form& child) {
  const sentential_form& parent = family.parent;
  form_piece* first = parent.tail;
  child.fate = FORM_DOOMED;
  if (lead < alternative.size()) {
    child.leftmost = alternative[lead];
    if (lead + 1 == alternative.size() && alternative[lead] == form_leftmost(parent)) {
      child.tail = piece_hold(first);
      child.tail_skip = parent.tail_skip;
    } else {
      child.tail = tail_make(alternative.substr(lead), after, first->extra, first->outer);
    }
    return;
  }
  child.leftmost = form_family_next(family);
  if (family.next_at < after.size()) {  // in the same piece
    child.tail = piece_hold(first);
    child.tail_skip = static_cast<uint8_t>(parent.tail_skip + 1 + family.next_at);
  } else {
    child.tail = piece_hold(first->outer);
    child.tail_skip = family.next_skip;
  }
}

// Finds, once for the family, whether its children that take terminals
// from the next piece share them: siblings do, and so does an only child
// whose alternative and they could take more than one append of two
// pieces' worth. The carry is made for the child that asks first, which
// takes its first reference; each other child holds it too.
form_piece* form_family_carry(form_family& family, std::string_view after) {
  form_piece* carry = piece_hold(family.carry);
  if (family.carry_decided) return carry;
  family.carry_decided = true;  // where the next nonterminal is, was found before
  form_piece* first = family.parent.tail;
  form_piece* next = first->outer;
  if (family.next_at != after.size() || next == nullptr || first->extra != nullptr) return carry;
  size_t carried = after.size() + family.next_skip;
  bool one_append = RHS_SLOT_SIZE - 1 + carried <= 2 * PIECE_TEXT;
  if (!family.siblings && one_append) return carry;
  char joined[2 * PIECE_TEXT];
  char* end = piece_copy(piece_copy(joined, after), piece_text(next).substr(0, family.next_skip));
  return family.carry = extra_make({joined, static_cast<size_t>(end - joined)});
}

// A child whose alternative holds a nonterminal: the terminals before it
// join the head, and the rest starts the tail.
void form_derive_inner(const form_family& family, std::string_view alternative, size_t lead,
                       std::string_view after, sentential_form& child) {
  const sentential_form& parent = family.parent;
  form_piece* first = parent.tail;
  child.leftmost = alternative[lead];
  child.head = head_add(parent.head, child.head_size, alternative.substr(0, lead));
  // An alternative that ends with the nonterminal it replaces, as in
  // "M -> aM", leaves the tail as it was: the child shares its first piece.
  if (lead + 1 == alternative.size() && alternative[lead] == form_leftmost(parent)) {
    child.tail = piece_hold(first);
    child.tail_skip = parent.tail_skip;
  } else {
    child.tail = tail_make(alternative.substr(lead), after, first->extra, first->outer);
  }
}

// A child of terminals whose next nonterminal stands in the tail's first
// piece, `at` bytes after the one replaced: they join the head, and the
// child shares that piece from its next nonterminal on.
void form_join_near(const form_family& family, std::string_view alternative, std::string_view after,
                    size_t at, sentential_form& child) {
  const sentential_form& parent = family.parent;
  std::string_view added = alternative;
  char joined[RHS_SLOT_SIZE + PIECE_TEXT];
  if (at > 0) {
    piece_copy(piece_copy(joined, alternative), after.substr(0, at));
    added = {joined, alternative.size() + at};
  }
  child.head = head_add(parent.head, child.head_size, added);
  child.tail = piece_hold(parent.tail);
  child.tail_skip = static_cast<uint8_t>(parent.tail_skip + 1 + at);
}

// A child of terminals whose next nonterminal stands in the next piece,
// after a first piece without an extra chain. Siblings share the terminals
// before it, in the carry after their alternatives; an only child takes
// them in the same append, so that its last head piece, with no extra
// chain, can still grow.
void form_join_next_piece(const form_family& family, std::string_view alternative,
                          std::string_view after, form_piece* carry, sentential_form& child) {
  const sentential_form& parent = family.parent;
  form_piece* next = parent.tail->outer;
  if (carry != nullptr) {
    child.head = head_append(parent.head, child.head_size, alternative, carry);
  } else {
    char joined[RHS_SLOT_SIZE + 2 * PIECE_TEXT];
    char* end = piece_copy(piece_copy(piece_copy(joined, alternative), after),
                           piece_text(next).substr(0, family.next_skip));
    std::string_view added{joined, static_cast<size_t>(end - joined)};
    child.head = head_append(parent.head, child.head_size, added, nullptr);
  }
  child.tail = piece_hold(next);
  child.tail_skip = family.next_skip;
}

// A child of terminals after which the tail's first piece goes on in an
// extra chain, or ends the form: all of it joins the head, and then the
// terminals of the next piece before its nonterminal, if there is one.
void form_join_through(const form_family& family, std::string_view alternative,
                       std::string_view after, sentential_form& child) {
  const sentential_form& parent = family.parent;
  form_piece* first = parent.tail;
  form_piece* next = first->outer;
  char joined[RHS_SLOT_SIZE + PIECE_TEXT];
  piece_copy(piece_copy(joined, alternative), after);
  form_piece* head = head_append(parent.head, child.head_size,
                                 {joined, alternative.size() + after.size()}, piece_hold(first->extra));
  if (next == nullptr) {
    child.head = head;  // a sentence
    return;
  }
  child.head = head_append(head, child.head_size, piece_text(next).substr(0, family.next_skip), nullptr);
  piece_release(head);
  child.tail = piece_hold(next);
  child.tail_skip = family.next_skip;
}

}  // namespace

// Builds in `child` the form `parent` with its leftmost nonterminal
// replaced by `alternative`, sharing every piece it can. Of the parent it
// reads only the last head piece and the first two tail pieces, so this
// costs the same for any length. Takes PIECES_PER_CHILD pieces at most,
// stocked first, so that running out of memory never leaves it half made.
void form_derive(form_family& family, std::string_view alternative, size_t lead,
                 sentential_form& child, bool doomed) {
  piece_stock(PIECES_PER_CHILD);
  const sentential_form& parent = family.parent;
  std::string_view after = form_tail_text(parent).substr(1);  // after the nonterminal
  child.length = parent.length - 1 + alternative.size();
  if (doomed) {
    form_derive_tail(family, alternative, lead, after, child);
    return;
  }
  child.head_size = parent.head_size;
  if (lead < alternative.size()) {
    form_derive_inner(family, alternative, lead, after, child);
    return;
  }
  // All terminals: they and the terminals after the nonterminal, up to the
  // next nonterminal, join the head. Where that is, is found once a family.
  child.leftmost = form_family_next(family);
  form_piece* carry = form_family_carry(family, after);
  if (family.next_at < after.size()) {
    form_join_near(family, alternative, after, family.next_at, child);
  } else if (parent.tail->outer != nullptr && parent.tail->extra == nullptr) {
    form_join_next_piece(family, alternative, after, carry, child);
  } else {
    form_join_through(family, alternative, after, child);
  }
}

size_t form_tail_length(const sentential_form& form) {
  size_t length = 0;
  for (const form_piece* piece = form.tail; piece != nullptr; piece = piece->outer) {
    length += piece->length;
  }
  return length - form.tail_skip;
}

sentential_form form_from_text(std::string_view text) {
  sentential_form form;
  form.length = text.size();
  size_t k = piece_first_nonterminal(text);
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


void form_free_blocks() { piece_free_blocks(); }
