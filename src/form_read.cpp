// SPDX-License-Identifier: MIT
// Form reading: a form's text, and whether its pieces are as the form
// module builds them, walked whole; for the tests, the checked build, the
// replay of a derivation and the page.
#include "form_read.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "piece.h"

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
    bool has_nonterminal = piece_first_nonterminal(piece_text(p)) < p->size;
    if (p->refs == 0 || p->size > PIECE_TEXT || has_nonterminal != (nonterminals && p == piece) ||
        (p != piece && p->outer != nullptr)) {
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

std::string form_text(const sentential_form& form) {
  std::vector<const form_piece*> head;
  for (const form_piece* piece = form.head; piece != nullptr; piece = piece->outer) {
    head.push_back(piece);
  }
  std::string text;
  for (auto piece = head.rbegin(); piece != head.rend(); ++piece) {
    piece_append_text(*piece, *piece == form.head ? form_head_text(form) : piece_text(*piece), text);
  }
  for (const form_piece* piece = form.tail; piece != nullptr; piece = piece->outer) {
    piece_append_text(piece, piece == form.tail ? form_tail_text(form) : piece_text(piece), text);
  }
  return text;
}

namespace {

// Whether a dead end keeps what the form module keeps of one: its length,
// its leftmost nonterminal, and the shared tail of that nonterminal.
bool form_dead_end_is_sound(const sentential_form& form) {
  return form.head == nullptr && form.head_size == 0 && form.tail_skip == 0 && form.length > 0 &&
         is_nonterminal(form.leftmost) &&
         form.tail == &piece_dead_end_tails[static_cast<size_t>(form.leftmost - 'A')];
}

}  // namespace

form_window_text form_window(const sentential_form& form, size_t before, size_t after) {
  size_t leftmost_at = form.length - (form.tail != nullptr ? form_tail_length(form) : 0);
  // The head from its last piece back, until `before` bytes are there.
  std::vector<std::string> back;
  size_t have = 0;
  for (const form_piece* piece = form.head; piece != nullptr && have < before; piece = piece->outer) {
    std::string text;
    piece_append_text(piece, piece == form.head ? form_head_text(form) : piece_text(piece), text);
    have += text.size();
    back.push_back(std::move(text));
  }
  std::string head;
  for (auto text = back.rbegin(); text != back.rend(); ++text) head += *text;
  if (head.size() > before) head.erase(0, head.size() - before);
  // The tail from its leftmost nonterminal on, until `after` bytes are there.
  std::string tail;
  for (const form_piece* piece = form.tail; piece != nullptr && tail.size() < after; piece = piece->outer) {
    piece_append_text(piece, piece == form.tail ? form_tail_text(form) : piece_text(piece), tail);
  }
  if (tail.size() > after) tail.resize(after);
  return {head + tail, leftmost_at - head.size()};
}

bool form_is_sound(const sentential_form& form) {
  size_t total = 0;
  if (form_is_dead_end(form)) return form_dead_end_is_sound(form);
  if (form_is_doomed(form) && (form.head != nullptr || form.tail == nullptr)) return false;
  if (form.head == nullptr ? form.head_size != 0
                           : form.head_size > form.head->size ||
                                 (form.head->extra != nullptr && form.head_size != form.head->size)) {
    return false;
  }
  for (const form_piece* piece = form.head; piece != nullptr; piece = piece->outer) {
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
  for (const form_piece* piece = form.tail; piece != nullptr; piece = piece->outer) {
    if (!piece_is_sound(piece, true, total)) return false;
  }
  if (form.head != nullptr) total -= form.head->size - form.head_size;  // bytes not seen
  // A doomed form keeps no head: its length counts bytes it does not keep.
  return form_is_doomed(form) ? total - form.tail_skip <= form.length
                              : total - form.tail_skip == form.length;
}

size_t form_pieces_in_use() { return piece_store.in_use; }

namespace {

// piece_is_sound for a piece alone, at a cost that does not grow with the
// form: its own fields and text, and the length of the extra chain's
// first piece, not the whole chain's.
bool piece_is_sound_here(const form_piece* piece, bool nonterminals) {
  bool has_nonterminal = piece_first_nonterminal(piece_text(piece)) < piece->size;
  size_t extra = piece->extra != nullptr ? piece->extra->length : 0;
  return piece->refs > 0 && piece->size <= PIECE_TEXT && has_nonterminal == nonterminals &&
         piece->length == piece->size + extra;
}

// form_is_sound for the pieces a step reads and writes: the fields, the
// last head piece, and the first two tail pieces, each alone.
bool form_is_sound_near(const sentential_form& form) {
  if (form_is_doomed(form) && form.head != nullptr) return false;
  const form_piece* head = form.head;
  if (head != nullptr && (form.head_size > head->size || !piece_is_sound_here(head, false) ||
                          (head->extra != nullptr && form.head_size != head->size))) {
    return false;
  }
  const form_piece* tail = form.tail;
  if (tail == nullptr) return form.tail_skip == 0 && form.leftmost == '\0';
  if (form.tail_skip >= tail->size || form.leftmost != tail->text[form.tail_skip] ||
      !is_nonterminal(form.leftmost) || !piece_is_sound_here(tail, true)) {
    return false;
  }
  return tail->outer == nullptr || piece_is_sound_here(tail->outer, true);
}

}  // namespace

void form_check_child(const sentential_form& child, size_t pieces_before) {
  const char* wrong = nullptr;
  if (form_pieces_in_use() > pieces_before + PIECES_PER_CHILD) {
    wrong = "a child took more than PIECES_PER_CHILD pieces";
  } else if (!(form_length(child) <= FORM_CHECK_WHOLE || form_is_dead_end(child)
                   ? form_is_sound(child)
                   : form_is_sound_near(child))) {
    wrong = "a child's pieces are not as the form module builds them";
  }
  if (wrong == nullptr) return;
  // Only the checked build, a developer's, ever says this: the program has
  // no such message.
  std::fputs("sentgen: checked build: ", stderr);
  std::fputs(wrong, stderr);
  std::fputc('\n', stderr);
  std::abort();
}
