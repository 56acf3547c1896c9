// SPDX-License-Identifier: MIT
// The page's entry into the engine: one whole run on the bytes of a grammar
// file, as the program makes it on grammar.txt. Standard output goes to the
// page in blocks as it is written, so that a long output never sits whole
// in memory; standard error and the exit status come at the end. A traced
// run also hands over each sentence's derivation and where its line
// starts, what the search did, and the lines that messages name; a
// derivation is replayed here, rewrite by rewrite, for the page to show,
// with the rules it names, for the page to build its tree. The same
// grammar file is also asked of here, outside a run: whether a string is
// a sentence, how it differs from another grammar's, what each search
// step did, and which rules its sentences can use.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "compare.h"
#include "cover.h"
#include "decide.h"
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

// Hands a derivation's rules, two bytes each (entry, slot).
EM_JS(void, web_labels, (const uint8_t* labels, size_t count), {
  Module["sentgenLabels"](HEAPU8.slice(labels, labels + 2 * count));
});

// Hands a string that only grammar `side` derives (0: the file, 1: the
// other grammar).
EM_JS(void, web_difference, (int side, const char* bytes, size_t size), {
  Module["sentgenDifference"](side, HEAPU8.slice(bytes, bytes + size));
});

// Hands how far a comparison got: the length up to which every string was
// decided, the work it took, and what was said of the other grammar.
EM_JS(void, web_compared, (double checked, double work, const char* said, size_t size), {
  Module["sentgenCompared"]({ checked, work, said: HEAPU8.slice(said, said + size) });
});

// Hands a form pending before search step `step`, in `slot`: its length,
// where its leftmost nonterminal stands, its fate, that nonterminal for a
// dead end (0 for the others) and its text, which starts at byte `start`.
EM_JS(void, web_pending,
      (double step, int slot, double length, double leftmost_at, int fate, int leftmost,
       const char* text, size_t size, double start),
      {
        Module["sentgenPending"]({
          step, slot, length, leftmostAt: leftmost_at, fate, leftmost, start,
          text: HEAPU8.slice(text, text + size),
        });
      });

// Hands what search step `step` did: the slot it took, whether that was a
// dead end, the sentence it printed (from 1; 0: none), and the forms it
// made: `count` of them, three bytes each (entry, slot, refused).
EM_JS(void, web_step,
      (double step, int taken, int dead_end, int sentence, const uint8_t* children, size_t count),
      {
        Module["sentgenStep"]({
          step, taken, deadEnd: dead_end !== 0, sentence,
          children: HEAPU8.slice(children, children + 3 * count),
        });
      });

// Hands whether rule `entry`:`slot` can be used by a sentence's derivation.
EM_JS(void, web_usable, (int entry, int slot, int usable), {
  Module["sentgenUsable"](entry, slot, usable !== 0);
});

// Hands a line of a covering set: its sentence and its derivation's rules.
EM_JS(void, web_cover_line, (const char* text, size_t size, const uint8_t* labels, size_t count), {
  Module["sentgenCoverLine"](HEAPU8.slice(text, text + size), HEAPU8.slice(labels, labels + 2 * count));
});

// Hands a rule left out of a covering set: its shortest line's bytes and
// rules.
EM_JS(void, web_left_out, (int entry, int slot, double length, double steps), {
  Module["sentgenLeftOut"]({ entry, slot, length, steps });
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

// Runs `use` on the table of the grammar file at `file`, its standard
// output dropped and its messages kept from the page, which the run tells.
// Returns false when the file is not a grammar or memory ran out.
bool web_on_grammar(const char* file, size_t size,
                    const std::function<void(const grammar_table& g)>& use) {
  std::string said;
  output_writer_function writer = output_to_writer(output_drop);
  std::string* errors = output_errors_to(&said);
  int status = run_session({false, {file, size}}, use);
  output_flush();  // what is still buffered is dropped too, not left to the next run
  output_errors_to(errors);
  output_to_writer(writer);
  return status == 0;
}

// Hands a form pending before search step `step` as run_view_form sees
// it: a dead end keeps no text, but the nonterminal that ends it.
void web_tell_pending(uint64_t step, int slot, const sentential_form& form, size_t whole,
                      size_t context) {
  run_form_view view = run_view_form(form, whole, context);
  int leftmost = view.fate == FORM_DEAD_END ? static_cast<unsigned char>(view.leftmost) : 0;
  web_pending(static_cast<double>(step), slot, static_cast<double>(view.length),
              static_cast<double>(view.leftmost_at), view.fate, leftmost, view.text.data(),
              view.text.size(), static_cast<double>(view.text_start));
}

void web_tell_step(uint64_t step, const run_step& told) {
  std::vector<uint8_t> children;
  for (const run_child& child : told.children) {
    children.insert(children.end(), {child.label.entry, child.label.slot,
                                     static_cast<uint8_t>(child.refused ? 1 : 0)});
  }
  web_step(static_cast<double>(step), told.taken, told.dead_end ? 1 : 0, told.sentence,
           children.data(), told.children.size());
}

// Hands the strings only one of `a` and `b` derives, and how far it got.
void web_tell_differences(const grammar_table& a, const grammar_table& b, const std::string& said) {
  compare_result result;
  compare_grammars(a, b, result);
  for (int side = 0; side < 2; ++side) {
    for (const std::string& text : result.only[side]) web_difference(side, text.data(), text.size());
  }
  web_compared(static_cast<double>(result.checked), static_cast<double>(result.work), said.data(),
               said.size());
}

// Hands the covering set of `g`: its lines, then the rules left out.
void web_tell_cover(const grammar_table& g) {
  cover_result result;
  cover_sentences(g, result);
  for (const cover_line& line : result.lines) {
    web_cover_line(line.sentence.data(), line.sentence.size(),
                   reinterpret_cast<const uint8_t*>(line.labels.data()), line.labels.size());
  }
  for (const cover_left_out& out : result.too_long) {
    web_left_out(out.label.entry, out.label.slot, static_cast<double>(out.length),
                 static_cast<double>(out.steps));
  }
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

// Decides whether the `length` bytes at `text` are a sentence of the
// grammar file at `file`, and hands a leftmost derivation when they are.
// Returns 1: a sentence; 0: not one; -1: the file is not a grammar; -2: the
// string is longer than the decider takes; -3: memory ran out.
extern "C" EMSCRIPTEN_KEEPALIVE int sentgen_decide(const char* file, size_t size, const char* text,
                                                   size_t length) {
  int verdict = -1;
  web_on_grammar(file, size, [&](const grammar_table& g) {
    verdict = -3;  // unless decide_sentence comes back
    std::vector<grammar_label> labels;
    try {
      verdict = decide_sentence(g, {text, length}, &labels) ? 1 : 0;
    } catch (const std::length_error&) {
      verdict = -2;
    }
    if (verdict == 1) web_labels(reinterpret_cast<const uint8_t*>(labels.data()), labels.size());
  });
  return verdict;
}

// Compares the grammar file at `a` with the one at `b`, "other grammar" in
// what is said of it, and hands the strings only one of them derives.
// Returns 0; 1 when `a` is not a grammar; 2 when `b` is not; 3 when memory
// ran out.
extern "C" EMSCRIPTEN_KEEPALIVE int sentgen_compare(const char* a, size_t a_size, const char* b,
                                                    size_t b_size) {
  static grammar_table other;
  std::string said;  // the other grammar's messages, for the page to show
  int status = 1;
  web_on_grammar(a, a_size, [&](const grammar_table& g) {
    std::string* errors = output_errors_to(&said);
    check_report report;
    status = run_load(other, {nullptr, "other grammar", "sentgen", output_error}, {b, b_size},
                      report) == 0 ? 3 : 2;
    output_errors_to(errors);
    if (status == 2) {
      web_compared(0, 0, said.data(), said.size());
      return;
    }
    web_tell_differences(g, other, said);
    status = 0;
  });
  return status;
}

// Replays the search of the grammar file at `file`, handing its rules
// first, then, for each search step from `first` to `last` (from 1), the
// forms pending before it (text whole up to `whole` bytes, else `context`
// bytes each side of the leftmost nonterminal) and what it did. Returns 1;
// 0 when the search ends before step `first`; -1 when the file is not a
// grammar or memory ran out.
extern "C" EMSCRIPTEN_KEEPALIVE int sentgen_steps(const char* file, size_t size, double first,
                                                  double last, size_t whole, size_t context) {
  int reached = -1;
  bool loaded = web_on_grammar(file, size, [&](const grammar_table& g) {
    web_tell_rules(g);
    reached = run_replay_steps(
                  g, static_cast<uint64_t>(first), static_cast<uint64_t>(last),
                  [&](uint64_t step, int slot, const sentential_form& form) {
                    web_tell_pending(step, slot, form, whole, context);
                  },
                  web_tell_step)
                  ? 1
                  : 0;
  });
  return loaded ? reached : -1;
}

// Hands each rule of the grammar file at `file` (web_rule) and whether a
// sentence can use it; with `lines`, then its covering set. Returns 0 when
// the file is not a grammar or memory ran out, else 1.
extern "C" EMSCRIPTEN_KEEPALIVE int sentgen_cover(const char* file, size_t size, int lines) {
  static bool usable[MAX_RULES * MAX_ALTERNATIVES];
  return web_on_grammar(file, size, [&](const grammar_table& g) {
           web_tell_rules(g);
           cover_usable(g, usable);
           for (int k = 0; k < g.choice_start[NONTERMINAL_COUNT]; ++k) {
             web_usable(g.choices[k].entry, g.choices[k].slot, usable[k] ? 1 : 0);
           }
           if (lines != 0) web_tell_cover(g);
         })
             ? 1
             : 0;
}
