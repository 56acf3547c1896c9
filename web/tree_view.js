// SPDX-License-Identifier: MIT
// The derivation's tree, drawn in SVG under its steps: the start symbol at
// the root, each rule's node with its label and its right-hand side's
// symbols below it, the leaves spelling the sentence. A rule's node is a
// button: click it, or reach it with the arrow keys and press Enter, to
// mark its rule as the step labels do. The same tree as a nested list, for
// screen readers and anyone. A tree of more nodes than DRAWN_NODES cannot
// be drawn legibly: it is counted instead, and saved as text.
"use strict";

// `elements`: title (the tree's heading), box (holds the drawing), about,
// details and list (the tree as a list), save (the Save tree button).
// `trees`: tree.js. `onPick(label)`: a node's rule was picked. `onSave()`:
// Save tree was pressed.
function makeTreeView({ elements, trees, onPick, onSave }) {
  const { title, box, about, details, list, save } = elements;
  const DRAWN_NODES = 300;
  const SVG = "http://www.w3.org/2000/svg";
  const ROW = 54;     // from one row's centre to the next's
  const BOX = 26;     // the height of a rule's box
  const PAD = 7;      // room in a rule's box each side of its text
  const GAP = 12;     // between neighbouring subtrees
  const MARGIN = 10;  // round the drawing
  let shown = null;   // the tree drawn: {tree, nodes: their elements, last: the last step's,
                      // keys: where the arrows go, current: the node Tab reaches}

  const make = (name, attributes = {}, text = "") => {
    const element = document.createElementNS(SVG, name);
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, String(value));
    if (text) element.textContent = text;
    return element;
  };

  // The width of a character of the drawing's font.
  function charWidth() {
    const context = document.createElement("canvas").getContext("2d");
    context.font = getComputedStyle(box).font;
    return context.measureText("0123456789").width / 10 || 8.5;
  }

  // A rule's node: a box with its symbol and label, a button.
  function ruleNode(tree, node, width) {
    const label = trees.labelOf(tree, node);
    const symbol = trees.symbolText(tree.symbol[node]);
    // Its name starts with the text it shows, which is what a voice user says.
    const g = make("g", { class: "node rule", role: "button", tabindex: -1, "data-label": label,
      "aria-label": `${symbol} ${label}, step ${tree.step[node]}` });
    g.append(make("rect", { x: -width / 2, y: -BOX / 2, width, height: BOX, rx: 4 }));
    const text = make("text", { "text-anchor": "middle", "dominant-baseline": "central" });
    text.append(make("tspan", { class: "symbol" }, symbol), " ", make("tspan", { class: "label" }, label));
    g.append(text);
    return g;
  }

  // A leaf: a terminal's byte, the empty string's dot, or a nonterminal
  // left as it is.
  function leafNode(tree, node) {
    const empty = tree.symbol[node] === trees.EMPTY;
    const g = make("g", { class: empty ? "node leaf empty" : "node leaf", "aria-hidden": "true" });
    g.append(make("text", { "text-anchor": "middle", "dominant-baseline": "central" },
      trees.symbolText(tree.symbol[node])));
    return g;
  }

  // Where the arrow keys go from each rule's node: up to its parent, down
  // to its first child with a rule, along its row to the next rule's node.
  function arrowKeys(tree, at) {
    const up = new Int32Array(tree.nodes).fill(-1);
    const down = new Int32Array(tree.nodes).fill(-1);
    const rows = [];
    trees.walk(tree, (node) => {
      if (tree.step[node] === 0) return;
      (rows[at.depth[node]] = rows[at.depth[node]] || []).push(node);
      for (let i = tree.count[node] - 1; i >= 0; i -= 1) {
        const child = tree.first[node] + i;
        up[child] = node;
        if (tree.step[child] > 0) down[node] = child;
      }
    });
    const left = new Int32Array(tree.nodes).fill(-1);
    const right = new Int32Array(tree.nodes).fill(-1);
    for (const row of rows) {
      row.sort((a, b) => at.x[a] - at.x[b]);
      row.forEach((node, k) => {
        if (k > 0) left[node] = row[k - 1];
        if (k + 1 < row.length) right[node] = row[k + 1];
      });
    }
    return { ArrowUp: up, ArrowDown: down, ArrowLeft: left, ArrowRight: right };
  }

  function draw(tree) {
    const char = charWidth();
    const widthOf = (node) => trees.nodeText(tree, node).length * char +
      (tree.step[node] > 0 ? 2 * PAD : 4);
    const at = trees.layout(tree, widthOf, GAP);
    const svg = make("svg", { class: "tree", width: Math.ceil(at.width + 2 * MARGIN),
      height: (at.height - 1) * ROW + BOX + 2 * MARGIN, role: "group", "aria-labelledby": title.id,
      "aria-describedby": about.id });
    const edges = make("g", { class: "edges", "aria-hidden": "true" });
    const drawn = make("g");
    const nodes = new Array(tree.nodes);
    let last = -1;  // the node of the last step
    const centre = (node) => [MARGIN + at.x[node], MARGIN + BOX / 2 + at.depth[node] * ROW];
    trees.walk(tree, (node) => {
      const [x, y] = centre(node);
      const g = tree.step[node] > 0 ? ruleNode(tree, node, widthOf(node)) : leafNode(tree, node);
      g.setAttribute("transform", `translate(${x} ${y})`);
      g.dataset.node = String(node);
      nodes[node] = g;
      if (tree.step[node] === tree.labels.length) last = node;
      drawn.append(g);
      for (let child = tree.first[node]; child < tree.first[node] + tree.count[node]; child += 1) {
        const [cx, cy] = centre(child);
        const top = cy - (tree.step[child] > 0 ? BOX / 2 : 9);  // a leaf's text is some 18 px high
        edges.append(make("line", { x1: x, y1: y + BOX / 2, x2: cx, y2: top }));
      }
    });
    svg.append(edges, drawn);
    box.replaceChildren(svg);
    // A tree wider than its box opens with its root in view.
    box.scrollLeft = Math.max(0, svg.getBoundingClientRect().left - box.getBoundingClientRect().left +
      centre(0)[0] - box.clientWidth / 2);
    shown = { tree, nodes, last, keys: arrowKeys(tree, at), current: -1 };
    if (tree.step[0] > 0) move(0, false);
  }

  // The tree as nested lists, each node an item.
  function fillList(tree) {
    const top = document.createElement("ul");
    const lists = [top];
    trees.walk(tree, (node, depth) => {
      const item = document.createElement("li");
      const label = trees.labelOf(tree, node);
      const symbol = trees.symbolText(tree.symbol[node]);
      item.textContent = label !== null ? `${symbol}, rule ${label}`
        : tree.symbol[node] === trees.EMPTY ? `${symbol} (the empty string)` : symbol;
      lists[depth].append(item);
      if (tree.count[node] > 0) {
        lists[depth + 1] = item.appendChild(document.createElement("ul"));
      }
    });
    list.replaceChildren(top);
  }

  // Makes rule node `node` the one Tab reaches in the tree, and focuses it
  // when `focus`.
  function move(node, focus = true) {
    if (node < 0 || !shown) return;
    if (shown.current >= 0) shown.nodes[shown.current].setAttribute("tabindex", "-1");
    shown.current = node;
    shown.nodes[node].setAttribute("tabindex", "0");
    if (focus) shown.nodes[node].focus();
  }

  function pickNode(g) {
    move(Number(g.dataset.node));
    onPick(g.dataset.label);
  }

  box.addEventListener("click", (event) => {
    const g = event.target.closest("g.rule");
    if (g) pickNode(g);
  });
  box.addEventListener("keydown", (event) => {
    const g = event.target.closest("g.rule");
    if (!g || !shown) return;
    const node = Number(g.dataset.node);
    let to = -2;
    if (event.key in shown.keys) to = shown.keys[event.key][node];
    else if (event.key === "Home") to = 0;
    else if (event.key === "End") to = shown.last;
    else if (event.key === "Enter" || event.key === " ") pickNode(g);
    else return;
    event.preventDefault();
    if (to >= 0) move(to);
  });
  save.addEventListener("click", () => onSave());

  return {
    // Shows the tree of a derivation: `made`, the worker's makings of it
    // ({labels, rules, start, nodes}); `fits`, whether the derivation
    // replayed.
    show(made, fits) {
      shown = null;
      box.replaceChildren();
      list.replaceChildren();
      const drawable = fits && made.nodes <= DRAWN_NODES;
      box.hidden = !drawable;
      details.hidden = !drawable;
      save.disabled = !fits;
      save.textContent = "Save tree";
      const count = `${made.nodes.toLocaleString("en")} ${made.nodes === 1 ? "node" : "nodes"}`;
      if (!fits) {
        about.textContent = "The derivation did not replay: it has no tree.";
      } else if (!drawable) {
        about.textContent = `The tree has ${count}, more than the ${DRAWN_NODES} that can be drawn ` +
          "legibly: Save tree writes it as text, one node a line.";
      } else {
        const tree = trees.build(made.rules, trees.labelsOf(made.labels), made.start);
        about.textContent = `The tree has ${count}. Arrow keys move between its rules, Enter ` +
          "marks one; Save tree writes it as text, one node a line.";
        draw(tree);
        fillList(tree);
      }
    },
    // Nothing shown: a derivation is on its way, or none comes.
    clear() {
      shown = null;
      box.replaceChildren();
      list.replaceChildren();
      box.hidden = true;
      details.hidden = true;
      about.textContent = "";
      save.disabled = true;
      save.textContent = "Save tree";
    },
    // Marks the nodes of rule `label`; null: none.
    markRule(label) {
      for (const old of box.querySelectorAll(".picked")) old.classList.remove("picked");
      if (label === null) return;
      for (const g of box.querySelectorAll(`g.rule[data-label="${label}"]`)) g.classList.add("picked");
    },
    // Save tree waits for the worker while `busy`.
    saving(busy) {
      save.disabled = busy;
      save.textContent = busy ? "Saving\u2026" : "Save tree";
    },
    tree: () => (shown ? shown.tree : null),
  };
}
