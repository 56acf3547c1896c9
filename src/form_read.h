// SPDX-License-Identifier: MIT
// Form reading: a form's text, and whether its pieces are as the form
// module builds them. Each walks the whole form: for tests, the checked
// build, the replay of a derivation and the page, never the search.
#ifndef SENTGEN_FORM_READ_H
#define SENTGEN_FORM_READ_H

#include <string>

#include "form.h"

// A form's text (a doomed form's from its leftmost nonterminal on, since
// it keeps no head; a dead end's is not kept).
std::string form_text(const sentential_form& form);
// The bytes of `form` from `before` bytes before its leftmost nonterminal
// to `after` bytes from it (fewer where the form ends, or where a doomed
// form's kept text starts), with where they start; it walks only the
// pieces that hold them, so that a window of a long form costs its size.
struct form_window_text {
  std::string text;  // the bytes
  size_t start;      // where they start in the form
};
form_window_text form_window(const sentential_form& form, size_t before, size_t after);
// Whether every piece of `form` is as the form module builds them: its
// recorded length and piece sizes match its text (a doomed form's, its
// tail's, and it has no head), the head holds only terminals, the tail
// starts with its leftmost nonterminal; a dead end keeps only its length
// and the shared tail of its leftmost nonterminal.
bool form_is_sound(const sentential_form& form);

// The bytes up to which form_check_child walks a form whole; past them it
// checks the pieces that a step reads and writes, so that a run of long
// forms stays a run of bounded steps.
constexpr size_t FORM_CHECK_WHOLE = 1024;
// For the checked build (SENTGEN_CHECKED), after each child a step makes:
// aborts, saying what is wrong, unless `child` is sound (form_is_sound,
// or near its leftmost nonterminal when it is long) and took no more than
// PIECES_PER_CHILD pieces beyond the `pieces_before` held before it.
void form_check_child(const sentential_form& child, size_t pieces_before);

#endif
