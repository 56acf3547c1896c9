// SPDX-License-Identifier: MIT
// A derivation's tree, from the rules it applies: the start symbol at the
// root; each rule replaces the leftmost nonterminal leaf not yet replaced,
// which gets the rule's label and the symbols of its right-hand side as
// children, in order, or one leaf for the empty string. The leaves, left to
// right, spell the form the derivation ends in: for a sentence, the
// sentence. Pure functions, for the page, the worker and the Node test
// alike. A long sentence's tree has a node for each of its bytes and more,
// up to millions: the tree is kept in typed arrays, and nothing here
// recurses but the layout of a tree small enough to draw.
"use strict";

const sentgenTree = (() => {
  const EMPTY = -1;  // the symbol of the empty string's leaf
  const CHUNK_LINES = 1 << 14;  // lines of an outline joined into one string

  const isNonterminal = (symbol) => symbol >= 0x41 && symbol <= 0x5a;  // A to Z, as the engine has them

  // The labels ("entry:slot") of a derivation's rules, two bytes each.
  function labelsOf(bytes) {
    return Array.from({ length: bytes.length >> 1 }, (_, k) => `${bytes[2 * k]}:${bytes[2 * k + 1]}`);
  }

  // The nodes of the tree that `labels` would build, without building it.
  function size(rules, labels) {
    let count = 1;
    for (const label of labels) {
      const rule = rules.get(label);
      count += rule ? Math.max(1, rule.text.length) : 0;
    }
    return count;
  }

  // The tree of the derivation that applies `labels` in order from the
  // start symbol `start` (a byte; null for a file with no rule, whose one
  // form is the empty string). `rules`: label -> {lhs, text}, the left-hand
  // side's byte and the bytes the rule puts into a form. Node 0 is the
  // root; node i has symbol[i] (a byte, or EMPTY), step[i] (the step that
  // replaced it, from 1, its rule labels[step - 1]; 0 for a leaf), and
  // count[i] children from node first[i] on. `fits` is false when a rule
  // is not the leftmost nonterminal's, or none is left: the tree stops
  // before that rule.
  function build(rules, labels, start) {
    const most = size(rules, labels);
    const tree = { nodes: 1, labels, fits: true, symbol: new Int16Array(most),
      step: new Int32Array(most), first: new Int32Array(most), count: new Uint8Array(most) };
    tree.symbol[0] = start === null ? EMPTY : start;
    const pending = isNonterminal(tree.symbol[0]) ? [0] : [];  // the leftmost last
    for (let k = 0; k < labels.length; k += 1) {
      const node = pending.length > 0 ? pending.pop() : -1;
      const rule = rules.get(labels[k]);
      if (node < 0 || !rule || rule.lhs !== tree.symbol[node]) {
        tree.fits = false;
        break;
      }
      const children = rule.text.length === 0 ? [EMPTY] : rule.text;
      tree.step[node] = k + 1;
      tree.first[node] = tree.nodes;
      tree.count[node] = children.length;
      for (let i = 0; i < children.length; i += 1) tree.symbol[tree.nodes + i] = children[i];
      for (let i = children.length - 1; i >= 0; i -= 1) {
        if (isNonterminal(children[i])) pending.push(tree.nodes + i);
      }
      tree.nodes += children.length;
    }
    return tree;
  }

  // Calls `visit(node, depth)` for each node, each before its children.
  // The stack holds no more nodes than the tree.
  function walk(tree, visit) {
    const nodes = new Int32Array(tree.nodes);
    const depths = new Int32Array(tree.nodes);
    let top = 1;
    while (top > 0) {
      top -= 1;
      const node = nodes[top];
      const depth = depths[top];
      visit(node, depth);
      for (let i = tree.count[node] - 1; i >= 0; i -= 1) {
        nodes[top] = tree.first[node] + i;
        depths[top] = depth + 1;
        top += 1;
      }
    }
  }

  // The bytes the leaves spell, left to right.
  function leaves(tree) {
    const spelt = new Uint8Array(tree.nodes);
    let length = 0;
    walk(tree, (node) => {
      if (tree.count[node] === 0 && tree.symbol[node] !== EMPTY) spelt[length++] = tree.symbol[node];
    });
    return spelt.slice(0, length);
  }

  // A symbol as the page writes it: printable ASCII as it is, but for the
  // backslash; CR as \r; every other byte as \xNN, a space included, so
  // that it shows; the empty string as a dot.
  function symbolText(symbol) {
    if (symbol === EMPTY) return "\u00b7";
    if (symbol > 0x20 && symbol < 0x7f && symbol !== 0x5c) return String.fromCharCode(symbol);
    return symbol === 0x0d ? "\\r" : `\\x${symbol.toString(16).padStart(2, "0")}`;
  }

  // The label of node `node`'s rule, or null for a leaf.
  function labelOf(tree, node) {
    return tree.step[node] > 0 ? tree.labels[tree.step[node] - 1] : null;
  }

  // A node's text: its symbol, and its rule's label when it has one.
  function nodeText(tree, node) {
    const label = labelOf(tree, node);
    return label === null ? symbolText(tree.symbol[node]) : `${symbolText(tree.symbol[node])} ${label}`;
  }

  // The tree as an indented outline, one node a line, two spaces a level;
  // past 40 levels the depth is written as a number, so that a deep tree's
  // text grows with its nodes, not their depths. In strings of
  // CHUNK_LINES lines each, for a Blob.
  function outline(tree) {
    const chunks = [];
    let lines = [];
    walk(tree, (node, depth) => {
      const indent = depth <= 40 ? "  ".repeat(depth) : `${"  ".repeat(40)}[${depth}] `;
      lines.push(`${indent}${nodeText(tree, node)}\n`);
      if (lines.length === CHUNK_LINES) {
        chunks.push(lines.join(""));
        lines = [];
      }
    });
    chunks.push(lines.join(""));
    return chunks;
  }

  // Places each node for drawing: rows by depth, each subtree in a band as
  // wide as its own box or its children's bands side by side, whichever is
  // wider, the node centred over its band. `widthOf(node)`: its box's
  // width; `gap`: between neighbours. Returns {x (each node's centre),
  // depth (each node's), width, height (in rows)}. For trees small enough
  // to draw: it recurses.
  function layout(tree, widthOf, gap) {
    const band = new Float64Array(tree.nodes);
    const x = new Float64Array(tree.nodes);
    const depth = new Int32Array(tree.nodes);
    const children = (node) => Array.from({ length: tree.count[node] }, (_, i) => tree.first[node] + i);
    const measure = (node) => {
      let total = -gap;
      for (const child of children(node)) total += measure(child) + gap;
      band[node] = Math.max(widthOf(node), total);
      return band[node];
    };
    let rows = 0;
    const place = (node, left, row) => {
      x[node] = left + band[node] / 2;
      depth[node] = row;
      rows = Math.max(rows, row + 1);
      let total = -gap;
      for (const child of children(node)) total += band[child] + gap;
      let at = left + (band[node] - total) / 2;
      for (const child of children(node)) {
        place(child, at, row + 1);
        at += band[child] + gap;
      }
    };
    const width = measure(0);
    place(0, 0, 0);
    return { x, depth, width, height: rows };
  }

  return { EMPTY, labelsOf, size, build, walk, leaves, symbolText, labelOf, nodeText, outline, layout };
})();

if (typeof module !== "undefined") module.exports = sentgenTree;
