// SPDX-License-Identifier: MIT
// The page's entry into the engine: one whole run on the bytes of a grammar
// file, as the program makes it on grammar.txt. Standard output goes to the
// page in blocks as it is written, so that a long output never sits whole
// in memory; standard error and the exit status come at the end. A traced
// run also hands over each sentence's derivation and what the search did,
// and a derivation is replayed here, step by step, for the page to show.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "form.h"
#include "grammar.h"
#include "output.h"
#include "run.h"
#include "trace.h"

static_assert(sizeof(trace_label) == 2, "a label goes to the page as two bytes");

// Hands a block of standard output to the page's script.
EM_JS(void, web_write_output, (const char* bytes, size_t size), {
  Module["sentgenOutput"](HEAPU8.subarray(bytes, bytes + size));
});

// Hands standard error and the exit status to the page's script.
EM_JS(void, web_end_run, (const char* errors, size_t size, int status), {
  Module["sentgenEnd"](HEAPU8.slice(errors, errors + size), status);
});

// Hands the sentence just printed's rules, two bytes each (entry, slot),
// and the step that took it out.
EM_JS(void, web_sentence, (const uint8_t* labels, size_t count, double step), {
  Module["sentgenSentence"](HEAPU8.slice(labels, labels + 2 * count), step);
});

// Hands what a traced search did: steps, forms made and refused, most
// forms pending at once, and why it ended (run_end's number); and the
// lines of the listing, so that the page can tell them from sentences.
EM_JS(void, web_summary,
      (double steps, double made, double refused, int most, int end, int rules), {
        Module["sentgenSummary"]({steps, made, refused, most, end, rules});
      });

// Hands one replayed step: its number, rule, the form's length, where the
// nonterminal stood (-1: not asked), the bytes the rule put there, and some
// of the form's text, which starts at byte `start` of the form.
EM_JS(void, web_step,
      (double index, int entry, int slot, double length, double at, double inserted,
       const char* text, size_t size, double start),
      {
        Module["sentgenStep"]({
          index, entry, slot, length, at, inserted, start,
          text: HEAPU8.slice(text, text + size),
        });
      });

// Hands the line of the grammar file that rule `entry`:`slot` came from.
EM_JS(void, web_rule_line, (int entry, int slot, double line), {
  Module["sentgenRuleLine"](entry, slot, line);
});

namespace {

void web_tell_rule_line(const grammar_line& line) {
  if (!line.rejected) web_rule_line(line.entry, line.slot, static_cast<double>(line.number));
}

void web_take_sentence(const std::vector<trace_label>& labels, uint64_t step) {
  web_sentence(reinterpret_cast<const uint8_t*>(labels.data()), labels.size(),
               static_cast<double>(step));
}

}  // namespace

// Runs the grammar file whose `size` bytes are at `file`; `traced`: keeps
// and hands over derivations and the search's counts too.
extern "C" EMSCRIPTEN_KEEPALIVE void sentgen_run(const char* file, size_t size, int traced) {
  std::string errors;
  output_to_writer(web_write_output);
  output_errors_to(&errors);
  int status;
  if (traced != 0) {
    run_trace trace{};
    trace.on_sentence = web_take_sentence;
    status = run_bytes_traced({file, size}, trace);
    output_flush();
    int rules = 0;  // the table stays readable after the run
    for (int i = 0; status == 0 && i < grammar.rule_count; ++i) {
      rules += grammar_alternative_count(grammar, i);
    }
    web_summary(static_cast<double>(trace.steps), static_cast<double>(trace.forms_made),
                static_cast<double>(trace.forms_refused), trace.most_pending, trace.end, rules);
  } else {
    status = run_bytes({file, size});
    output_flush();
  }
  output_errors_to(nullptr);
  output_to_writer(nullptr);
  web_end_run(errors.data(), errors.size(), status);
}

// Replays the derivation of `count` rules at `labels` (two bytes each) on
// the grammar file at `file`. Every step goes to the page; its text is the
// whole form when that has at most `whole` bytes, else, for the first and
// last `ends` steps, the rule's text with `context` bytes on each side, and
// otherwise none, so that a derivation of long forms costs the same a step.
// First the file's rule lines go to the page, each with its rule's label.
// Returns 0 when the file is not a grammar or a rule does not fit.
extern "C" EMSCRIPTEN_KEEPALIVE int sentgen_derivation(const char* file, size_t size,
                                                       const uint8_t* labels, size_t count,
                                                       size_t whole, size_t ends, size_t context) {
  std::string errors;
  output_errors_to(&errors);  // the loader's messages are the run's to tell
  output_to(&errors);
  bool fits = false;
  try {
    grammar_watch(web_tell_rule_line);
    int loaded = parse_grammar(grammar, {file, size});
    grammar_watch(nullptr);
    if (loaded == 0) {
      std::vector<trace_label> rules(count);
      for (size_t k = 0; k < count; ++k) rules[k] = {labels[2 * k], labels[2 * k + 1]};
      fits = trace_replay(grammar, rules, [&](const trace_step& step) {
        size_t length = form_length(*step.form);
        bool shown = step.index <= ends || step.index + ends > count;
        if (length > whole && !shown) {
          web_step(static_cast<double>(step.index), step.label.entry, step.label.slot,
                   static_cast<double>(length), -1, static_cast<double>(step.inserted), nullptr,
                   0, 0);
          return;
        }
        size_t at = trace_step_at(step);
        std::string text = form_text(*step.form);
        size_t start = 0, end = text.size();
        if (length > whole) {
          start = at - std::min(at, context);
          end = std::min(text.size(), at + step.inserted + context);
        }
        web_step(static_cast<double>(step.index), step.label.entry, step.label.slot,
                 static_cast<double>(length), static_cast<double>(at),
                 static_cast<double>(step.inserted), text.data() + start, end - start,
                 static_cast<double>(start));
      });
    }
  } catch (const std::bad_alloc&) {
    fits = false;
  }
  run_reset();
  output_to(nullptr);
  output_errors_to(nullptr);
  return fits ? 1 : 0;
}
