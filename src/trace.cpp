// SPDX-License-Identifier: MIT
// Trace module: the records of how forms were made, from blocks of their
// own, and the replay of a derivation through the form module.
#include "trace.h"

#include <algorithm>
#include <memory>

#include "form_read.h"

bool trace_is_on = false;

namespace {

// Records come in blocks that never move, so that making one never copies
// the others; record k is entry k % RECORDS_PER_BLOCK of block k / it.
constexpr size_t RECORDS_PER_BLOCK = 4096;

struct trace_block {
  trace_id parents[RECORDS_PER_BLOCK];     // each record's parent
  trace_label labels[RECORDS_PER_BLOCK];  // each record's rule
};

std::vector<std::unique_ptr<trace_block>> trace_blocks;  // every block of this run
size_t records_made = 0;  // records handed out; number 0 is never one

}  // namespace

void trace_enable(bool on) { trace_is_on = on; }

trace_id trace_make(trace_id parent, trace_label label) {
  size_t record = records_made + 1;
  size_t block = record / RECORDS_PER_BLOCK;
  if (block == trace_blocks.size()) trace_blocks.push_back(std::make_unique<trace_block>());
  trace_blocks[block]->parents[record % RECORDS_PER_BLOCK] = parent;
  trace_blocks[block]->labels[record % RECORDS_PER_BLOCK] = label;
  records_made = record;
  return static_cast<trace_id>(record);
}

std::vector<trace_label> trace_labels(trace_id record) {
  std::vector<trace_label> labels;
  while (record != 0) {
    const trace_block& block = *trace_blocks[record / RECORDS_PER_BLOCK];
    labels.push_back(block.labels[record % RECORDS_PER_BLOCK]);
    record = block.parents[record % RECORDS_PER_BLOCK];
  }
  std::reverse(labels.begin(), labels.end());
  return labels;
}

size_t trace_records_made() { return records_made; }

void trace_free_blocks() {
  trace_blocks.clear();
  trace_blocks.shrink_to_fit();
  records_made = 0;
}

size_t trace_rewrite_length(const trace_rewrite& rewrite) { return form_length(*rewrite.form); }

size_t trace_rewrite_at(const trace_rewrite& rewrite) {
  // The nonterminal stood where the head of the form before ends.
  const sentential_form* before = rewrite.before;
  return before == nullptr ? 0 : form_length(*before) - form_tail_length(*before);
}

std::string trace_rewrite_text(const trace_rewrite& rewrite) { return form_text(*rewrite.form); }

bool trace_replay(const grammar_table& g, const std::vector<trace_label>& labels,
                  const std::function<void(const trace_rewrite& rewrite)>& on_rewrite) {
  sentential_form form = form_from_text(grammar_seed(g));
  on_rewrite({0, {0, 0}, nullptr, &form, 0});
  for (size_t k = 0; k < labels.size(); ++k) {
    trace_label label = labels[k];
    bool fits = label.entry < g.rule_count && label.slot < MAX_ALTERNATIVES &&
                label.slot < grammar_alternative_count(g, label.entry) &&
                !form_is_sentence(form) && form_leftmost(form) == g.lhs[label.entry];
    if (!fits) return false;
    std::string_view alternative = grammar_alternative(g, label.entry, label.slot);
    sentential_form child;
    form_derive(form, alternative, grammar_lead(alternative), child);
    on_rewrite({k + 1, label, &form, &child, alternative.size()});
    form = std::move(child);
  }
  return true;
}
