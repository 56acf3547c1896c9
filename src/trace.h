// SPDX-License-Identifier: MIT
// Trace module: how each form was made, kept only when a run is asked to
// (the page asks, to show a sentence's derivation; the program never does).
// A form's record names the rule applied and the record of the form it came
// from, so records are shared down the search tree as pieces are, and a
// step costs the same however long its derivation.
#ifndef SENTGEN_TRACE_H
#define SENTGEN_TRACE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "form.h"
#include "grammar.h"

using trace_label = grammar_label;  // the rule a record names

// How a form was made: the number of its record, 0 for the seed, which no
// rule made. A record is 6 bytes, its parent's number and its label, kept
// in two arrays; records are never given back during a run, so a run keeps
// one per form made: at most the steps (20 sentences times the idle limit)
// plus a full stack, some 201,000 records or 1.2 MB.
using trace_id = uint32_t;

extern bool trace_is_on;  // whether new forms get a record; off by default
inline bool trace_enabled() { return trace_is_on; }
void trace_enable(bool on);

// A record for a form made by `label` from the form whose record is `parent`.
trace_id trace_make(trace_id parent, trace_label label);
// The rules applied from the seed to the form whose record is `record`, in
// the order they were applied (each to the leftmost nonterminal).
std::vector<trace_label> trace_labels(trace_id record);
// Records made since the last trace_free_blocks.
size_t trace_records_made();
// Gives the records' memory back, at the end of a run.
void trace_free_blocks();

// One rewrite of a derivation, replayed: a rule applied to the leftmost
// nonterminal of a form. The forms before and after it, and how many bytes
// the rule put where the nonterminal stood.
struct trace_rewrite {
  size_t index;                   // 0 for the seed, then 1 for the first rule applied
  trace_label label;              // the rule applied (none for the seed)
  const sentential_form* before;  // the form it was applied to; null for the seed
  const sentential_form* form;    // the form after it; both alive during the call
  size_t inserted;                // bytes the rule put there
};
// The length of the form after `rewrite`.
size_t trace_rewrite_length(const trace_rewrite& rewrite);
// Where the nonterminal that `rewrite` replaced stood: it walks the tail of
// the form before, so ask it only of the rewrites to show.
size_t trace_rewrite_at(const trace_rewrite& rewrite);
// The text of the form after `rewrite`, whole: it walks the form.
std::string trace_rewrite_text(const trace_rewrite& rewrite);
// Replays `labels` from the seed of `g`, each on the leftmost nonterminal,
// through the form module as the search makes forms, and hands each
// rewrite to `on_rewrite`: a rewrite costs the same however long the form,
// unless `on_rewrite` asks for its text. Returns false when a label does
// not fit the form (a rule of another nonterminal, or no nonterminal left).
bool trace_replay(const grammar_table& g, const std::vector<trace_label>& labels,
                  const std::function<void(const trace_rewrite& rewrite)>& on_rewrite);

#endif
