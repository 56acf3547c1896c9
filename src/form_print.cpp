// SPDX-License-Identifier: MIT
// Print module: a sentence's line from its pieces, written into the output
// from its end back, and a long one over the last long one where they
// share their start.
#include "form_print.h"

#include <utility>

#include "output.h"
#include "piece.h"

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
void print_piece(const form_piece* piece, size_t size, char* at) {
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
  for (const form_piece* piece = form.head; piece != nullptr; piece = piece->outer) {
    if (end <= kept && kept > 0) {
      while (last != nullptr && last_end > end) {
        last_end -= last->length - last->size + last_size;
        last = last->outer;
        if (last != nullptr) last_size = last->size;
      }
      // The same piece starts at the same byte in both; ending at the same
      // byte, it and all before it are there.
      if (last == piece && last_end == end) return;
    }
    end -= piece->length - piece->size + size;
    print_piece(piece, size, line + end);
    if (piece->outer != nullptr) size = piece->outer->size;
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

void form_print_forget() { piece_release(std::exchange(print_last_head, nullptr)); }
