// SPDX-License-Identifier: MIT
// Print module: writes a sentence from its pieces to the output. A long
// one is written where the last long one was, in the output's buffer, so
// that the bytes the two share are not written again.
#ifndef SENTGEN_FORM_PRINT_H
#define SENTGEN_FORM_PRINT_H

#include "form.h"

// Writes the sentence `form` and a newline to the output.
void form_print(const sentential_form& form);
// Drops the pieces kept from the last long sentence printed: once a run
// ends, before the pieces' memory goes back.
void form_print_forget();

#endif
