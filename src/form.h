// SPDX-License-Identifier: MIT
// Form module: what a sentential form is and what a step makes of it. How
// its text is kept, in shared pieces, is private to the form modules
// (piece.h); printing a sentence is form_print.h, its text form_read.h.
#ifndef SENTGEN_FORM_H
#define SENTGEN_FORM_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "piece.h"  // the pieces a form holds, released inline


// A sentential form: bytes A to Z are nonterminals, all others terminals.
// Its text lives in pieces whose bytes never change once written, shared
// with the forms it was made from and the forms made from it, so that
// making a form costs the same however long it is. `head` holds the
// terminals before the leftmost nonterminal, last piece first, since a step
// only adds to its end; `tail` holds the rest, first piece first, since a
// step only replaces its first byte. A sentence has no tail. A form holds
// one reference to each chain and drops them when it is destroyed or
// overwritten.
// A step mostly copies no text: the terminals a child adds are written in
// its parent's last head piece, after the bytes the parent sees, or found
// there when a sibling wrote the same; and a child whose leftmost
// nonterminal stands further on in its parent's first tail piece shares
// that piece. So each form says how much of those two pieces is its own.
// The fields are in a plain struct of their own, so that a move copies
// and clears them whole; sentential_form adds owning the pieces.
struct form_fields {
  form_piece* head = nullptr;   // terminals before the leftmost nonterminal
  form_piece* tail = nullptr;   // the leftmost nonterminal and all after it
  size_t length = 0;            // bytes in the whole form
  uint32_t how = 0;             // its record (trace.h) on a traced run; else 0
  uint8_t head_size = 0;        // bytes of head's own text that are this form's
  uint8_t tail_skip = 0;        // bytes of tail's own text before its leftmost one
  char leftmost = '\0';          // the leftmost nonterminal; '\0' for a sentence
  uint8_t fate = 0;             // FORM_LIVE, FORM_DOOMED or FORM_DEAD_END
};
static_assert(sizeof(void*) != 8 || sizeof(form_fields) == 32,
              "no padding: a copy of the fields is two wide moves");

// What can become of a form, and so what of it is kept.
enum : uint8_t {
  FORM_LIVE = 0,      // it may become a sentence: all its text is kept
  FORM_DOOMED = 1,    // it holds a nonterminal that derives no sentence, nor
                      // does any form made from it: none is printed, so no
                      // head is kept, only the tail that steps replace
  FORM_DEAD_END = 2,  // its leftmost nonterminal has no rule: a step drops
                      // it, so only its length and that nonterminal are kept
};

struct sentential_form : form_fields {
  sentential_form() = default;
  sentential_form(sentential_form&& other) noexcept;
  sentential_form& operator=(sentential_form&& other) noexcept;
  sentential_form(const sentential_form&) = delete;
  sentential_form& operator=(const sentential_form&) = delete;
  ~sentential_form();
};

// Drops the references of a form that holds pieces. Inline, as are the
// moves, so that the stack's slot exchanges and the search's loop pay no
// call for the common case of a piece others still hold.
inline void form_release(sentential_form& form) {
  piece_release(form.head);
  piece_release(form.tail);
}

// Moves and the destructor are here so that they inline into the stack's
// slot exchanges, which mostly move into or out of an empty form.
inline sentential_form::sentential_form(sentential_form&& other) noexcept
    : form_fields(std::exchange<form_fields>(other, {})) {}

inline sentential_form& sentential_form::operator=(sentential_form&& other) noexcept {
  if (this == &other) return *this;
  if (head != nullptr || tail != nullptr) form_release(*this);
  form_fields::operator=(std::exchange<form_fields>(other, {}));
  return *this;
}

inline sentential_form::~sentential_form() {
  if (head != nullptr || tail != nullptr) form_release(*this);
}

// Makes a form from its text.
sentential_form form_from_text(std::string_view text);
inline size_t form_length(const sentential_form& form) { return form.length; }
// Bytes from the leftmost nonterminal on: it walks the tail's pieces.
size_t form_tail_length(const sentential_form& form);
// The bytes of a form's last head piece, and of its first tail piece, that
// are the form's own: a step reads no more of its parent than these.
std::string_view form_head_text(const sentential_form& form);
std::string_view form_tail_text(const sentential_form& form);
// Pieces held by forms now; spare pieces kept for reuse do not count.
size_t form_pieces_in_use();

// Whether `form` holds no nonterminal, and, when it holds one, the leftmost.
inline bool form_is_sentence(const sentential_form& form) { return form.tail == nullptr; }
inline char form_leftmost(const sentential_form& form) { return form.leftmost; }

// A family: the children that one step makes of one form, and what they
// share, found once for all of them: where the terminals after its
// leftmost nonterminal end, which an alternative of terminals takes into
// the head with it, and those terminals when they run into the next piece.
// A step makes a child for each alternative, and finding and copying those
// terminals can cost more than the rest of a child.
struct form_family {
  explicit form_family(const sentential_form& form, bool several = false)
      : parent(form), siblings(several) {}
  const sentential_form& parent;  // the form whose leftmost nonterminal is replaced
  const bool siblings;            // whether the step makes more than one child
  static constexpr uint8_t NOT_FOUND = 255;  // more than a piece holds
  // Terminals after the leftmost in its piece, up to the next nonterminal,
  // or NOT_FOUND until found.
  uint8_t next_at = NOT_FOUND;
  uint8_t next_skip = 0;  // when that piece has no other, terminals first in the piece after
  char next = '\0';       // that nonterminal, once found; '\0' when there is none
  bool carry_decided = false;  // whether the carry below was looked for
  // Then, when siblings share those terminals (or one append could not
  // take them with an alternative), the extra pieces that hold them; the
  // child they are made for takes their first reference, so the step
  // holds none.
  form_piece* carry = nullptr;
};

// Finds where the nonterminal after the leftmost one in `family.parent`
// stands, and which it is: what form_family_next looks for the first time.
void form_family_find(form_family& family);
// The nonterminal that follows the leftmost one in `family.parent`, which
// is the leftmost of a child whose alternative is all terminals; '\0' when
// there is none. Found once a family.
inline char form_family_next(form_family& family) {
  if (family.next_at == form_family::NOT_FOUND) form_family_find(family);
  return family.next;
}

// Makes `child`, which is empty, a form of `length` bytes whose leftmost
// nonterminal, `leftmost`, has no rule: the search only takes it out and
// drops it, so it keeps no text, only what the search reads of it.
void form_dead_end(size_t length, char leftmost, sentential_form& child);
// Whether `form` was made by form_dead_end: its text is not kept.
inline bool form_is_dead_end(const form_fields& form) { return form.fate == FORM_DEAD_END; }
// Whether `form` holds a nonterminal that derives no sentence, so that no
// form made from it becomes one: its head is not kept.
inline bool form_is_doomed(const form_fields& form) { return form.fate == FORM_DOOMED; }

// Builds in `child`, which is empty, the form `family.parent` with its
// leftmost nonterminal replaced by `alternative`, whose first nonterminal
// is at `lead` (its size when it has none); the cost does not depend on
// the form's length. When `doomed`, the child holds a nonterminal that
// derives no sentence (the parent does, or the alternative), and only its
// tail is made.
void form_derive(form_family& family, std::string_view alternative, size_t lead,
                 sentential_form& child, bool doomed = false);
// The same for a single child of `parent`.
inline void form_derive(const sentential_form& parent, std::string_view alternative, size_t lead,
                        sentential_form& child) {
  form_family family(parent);
  form_derive(family, alternative, lead, child);
}
// Returns the pieces' memory to the heap once no form holds a piece.
void form_free_blocks();

#endif
