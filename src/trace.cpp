// SPDX-License-Identifier: MIT
// Trace module: the records of how forms were made, from blocks of their
// own, and the replay of a derivation through the form module.
#include "trace.h"

#include <algorithm>

#include "form.h"

bool trace_is_on = false;

namespace {

// Records come from the heap in blocks, as pieces do, and a released record
// waits among the spares for the next form.
constexpr size_t RECORDS_PER_BLOCK = 256;

struct trace_block {
  trace_block* next;                         // the block made before this one
  trace_record records[RECORDS_PER_BLOCK];  // the records it holds
};

trace_block* trace_blocks = nullptr;    // every block made, newest first
trace_record* spare_records = nullptr;  // records no form holds, chained by `parent`
size_t records_in_use = 0;              // records held by forms and records

trace_record* trace_take() {
  if (spare_records == nullptr) {
    trace_block* block = new trace_block;
    block->next = trace_blocks;
    trace_blocks = block;
    for (trace_record& record : block->records) {
      record.parent = spare_records;
      spare_records = &record;
    }
  }
  trace_record* record = spare_records;
  spare_records = record->parent;
  ++records_in_use;
  return record;
}

}  // namespace

void trace_enable(bool on) { trace_is_on = on; }

trace_record* trace_make(trace_record* parent, trace_label label) {
  trace_record* record = trace_take();  // before the reference: it may throw
  if (parent != nullptr) ++parent->refs;
  *record = {parent, 1, label};
  return record;
}

void trace_release(trace_record* record) {
  // A loop, not recursion: a derivation may be 200,000 steps long.
  while (record != nullptr && --record->refs == 0) {
    trace_record* parent = record->parent;
    record->parent = spare_records;
    spare_records = record;
    --records_in_use;
    record = parent;
  }
}

std::vector<trace_label> trace_labels(const trace_record* record) {
  std::vector<trace_label> labels;
  for (; record != nullptr; record = record->parent) labels.push_back(record->label);
  std::reverse(labels.begin(), labels.end());
  return labels;
}

size_t trace_records_in_use() { return records_in_use; }

void trace_free_blocks() {
  if (records_in_use != 0) return;
  while (trace_blocks != nullptr) {
    trace_block* next = trace_blocks->next;
    delete trace_blocks;
    trace_blocks = next;
  }
  spare_records = nullptr;
}

bool trace_replay(const grammar_table& g, const std::vector<trace_label>& labels,
                  const std::function<bool(size_t index)>& wanted,
                  const std::function<void(const trace_step& step)>& on_step) {
  sentential_form form = form_from_text(grammar_seed(g));
  if (wanted(0)) on_step({0, {0, 0}, form_text(form), 0, 0});
  for (size_t k = 0; k < labels.size(); ++k) {
    trace_label label = labels[k];
    bool fits = label.entry < g.rule_count && label.slot < MAX_ALTERNATIVES &&
                label.slot < grammar_alternative_count(g, label.entry) &&
                !form_is_sentence(form) && form_leftmost(form) == g.lhs[label.entry];
    if (!fits) return false;
    std::string_view alternative = grammar_alternative(g, label.entry, label.slot);
    sentential_form child;
    form_derive(form, alternative, child);
    if (wanted(k + 1)) {
      // The nonterminal stood where the parent's head ends.
      size_t at = form_length(form) - form_tail_length(form);
      on_step({k + 1, label, form_text(child), at, alternative.size()});
    }
    form = std::move(child);
  }
  return true;
}
