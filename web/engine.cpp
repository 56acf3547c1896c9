// SPDX-License-Identifier: MIT
// The page's entry into the engine: one whole run on the bytes of a grammar
// file, as the program makes it on grammar.txt. Standard output goes to the
// page in blocks as it is written, so that a long output never sits whole
// in memory; standard error and the exit status come at the end. A traced
// run also hands over each sentence's derivation and where its line
// starts, what the search did, and the lines that messages name; a
// derivation is replayed here, rewrite by rewrite, for the page to show,
// with the rules it names, for the page to build its tree.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// the search step that took it out, and where its line starts in the
// run's standard output.
EM_JS(void, web_sentence, (const uint8_t* labels, size_t count, double step, double at), {
  Module["sentgenSentence"](HEAPU8.slice(labels, labels + 2 * count), step, at);
});

// Hands what a traced search did: search steps, forms made and refused,
// most forms pending at once, and why it ended (run_end's number); the
// lines of the listing; and the lines that messages name: the rejected
// one (0: none) and those with warnings, `warned` of them at `lines`.
EM_JS(void, web_summary,
      (double steps, double made, double refused, int most, int end, int rules,
       double rejected, const double* lines, size_t warned),
      {
        Module["sentgenSummary"]({
          steps, made, refused, most, end, rules, rejected,
          warned: Array.from(HEAPF64.subarray(lines / 8, lines / 8 + warned)),
        });
      });

// Hands one replayed rewrite: its number, rule, the form's length, where
// the nonterminal stood (-1: not asked), the bytes the rule put there, and
// some of the form's text, which starts at byte `start` of the form.
EM_JS(void, web_rewrite,
      (double index, int entry, int slot, double length, double at, double inserted,
       const char* text, size_t size, double start),
      {
        Module["sentgenRewrite"]({
          index, entry, slot, length, at, inserted, start,
          text: HEAPU8.slice(text, text + size),
        });
      });

// Hands rule `entry`:`slot`: the line of the grammar file it came from, its
// left-hand side, and the `size` bytes at `text` that it puts into a form
// (none for "@"), from which the page builds a derivation's tree.
EM_JS(void, web_rule, (int entry, int slot, double line, int lhs, const char* text, size_t size), {
  Module["sentgenRule"]({ entry, slot, line, lhs, text: HEAPU8.slice(text, text + size) });
});

namespace {

void web_take_sentence(const std::vector<trace_label>& labels, uint64_t step, uint64_t at) {
  web_sentence(reinterpret_cast<const uint8_t*>(labels.data()), labels.size(),
               static_cast<double>(step), static_cast<double>(at));
}

void web_tell_summary(const run_trace& trace, const run_report& report) {
  std::vector<double> warned(report.warned.begin(), report.warned.end());
  web_summary(static_cast<double>(trace.steps), static_cast<double>(trace.forms_made),
              static_cast<double>(trace.forms_refused), trace.most_pending, trace.end,
              report.rules, static_cast<double>(report.rejected_line), warned.data(),
              warned.size());
}

// Tells the page every rule: its file line, for the listing and the
// editor, and its sides, for the tree.
void web_tell_rules(const grammar_table& g) {
  for (int i = 0; i < g.rule_count; ++i) {
    for (int j = 0; j < grammar_alternative_count(g, i); ++j) {
      std::string_view text = grammar_alternative(g, i, j);
      web_rule(i, j, static_cast<double>(g.rhs_line[i][j]), static_cast<unsigned char>(g.lhs[i]),
               text.data(), text.size());
    }
  }
}

// What the page is shown of one rewrite: its text is the whole form when
// that has at most `whole` bytes, else, for the first and last `ends`
// rewrites of `count`, the rule's text with `context` bytes on each side,
// and otherwise none, so that a derivation of long forms costs the same a
// rewrite.
void web_tell_rewrite(const trace_rewrite& rewrite, size_t count, size_t whole, size_t ends,
                      size_t context) {
  size_t length = trace_rewrite_length(rewrite);
  bool shown = rewrite.index <= ends || rewrite.index + ends > count;
  auto index = static_cast<double>(rewrite.index);
  auto inserted = static_cast<double>(rewrite.inserted);
  if (length > whole && !shown) {
    web_rewrite(index, rewrite.label.entry, rewrite.label.slot, static_cast<double>(length), -1,
                inserted, nullptr, 0, 0);
    return;
  }
  size_t at = trace_rewrite_at(rewrite);
  std::string text = trace_rewrite_text(rewrite);
  size_t start = 0, end = text.size();
  if (length > whole) {
    start = at - std::min(at, context);
    end = std::min(text.size(), at + rewrite.inserted + context);
  }
  web_rewrite(index, rewrite.label.entry, rewrite.label.slot, static_cast<double>(length),
              static_cast<double>(at), inserted, text.data() + start, end - start,
              static_cast<double>(start));
}

}  // namespace

// Runs the grammar file whose `size` bytes are at `file`; `traced`: keeps
// and hands over derivations, the search's counts and the lines that
// messages name too.
extern "C" EMSCRIPTEN_KEEPALIVE void sentgen_run(const char* file, size_t size, int traced) {
  std::string errors;
  output_to_writer(web_write_output);
  output_errors_to(&errors);
  int status;
  if (traced != 0) {
    run_trace trace{};
    trace.on_sentence = web_take_sentence;
    run_report report{};
    status = run_bytes_traced({file, size}, trace, &report);
    output_flush();
    web_tell_summary(trace, report);
  } else {
    status = run_bytes({file, size});
    output_flush();
  }
  output_errors_to(nullptr);
  output_to_writer(nullptr);
  web_end_run(errors.data(), errors.size(), status);
}

// Replays the derivation of `count` rules at `labels` (two bytes each) on
// the grammar file at `file`, handing every rewrite to the page as
// web_tell_rewrite says; first the file's rules go to the page, each with
// its label, line and sides. Returns 0 when the file is not a grammar or a
// rule does not fit.
extern "C" EMSCRIPTEN_KEEPALIVE int sentgen_derivation(const char* file, size_t size,
                                                       const uint8_t* labels, size_t count,
                                                       size_t whole, size_t ends, size_t context) {
  std::string said;
  output_errors_to(&said);  // the loader's messages are the run's to tell
  output_to(&said);
  bool fits = false;
  run_session({false, {file, size}}, [&](const grammar_table& g) {
    web_tell_rules(g);
    std::vector<trace_label> rules(count);
    for (size_t k = 0; k < count; ++k) rules[k] = {labels[2 * k], labels[2 * k + 1]};
    fits = trace_replay(g, rules, [&](const trace_rewrite& rewrite) {
      web_tell_rewrite(rewrite, count, whole, ends, context);
    });
  });
  output_to(nullptr);
  output_errors_to(nullptr);
  return fits ? 1 : 0;
}
