// SPDX-License-Identifier: MIT
// A font made by the page for the characters that stand for bytes (U+F700
// to U+F7FF, see bytes.js): each is drawn as its escape, "\xe9", and CR as
// "\r", four and two columns wide, so that the editor shows a byte that is
// not text as the output panes write it, while it stays one character that
// the caret steps over and Backspace deletes whole. Strokes on a grid of
// columns of 600 units; a TrueType file of some 16 KB, built once at load.
"use strict";

const byteFont = (() => {
  const FONT_COLUMN = 600;   // units of one column of the escape; the em is 1000
  const FONT_STROKE = 76;    // width of a stroke

  // The strokes of each symbol of an escape: polylines of [x, y] points in
  // one column, y up from the baseline; digits 640 high, letters 460.
  const FONT_SYMBOLS = {
    "\\": [[[110, 700], [490, -60]]],
    x: [[[130, 460], [470, 0]], [[130, 0], [470, 460]]],
    r: [[[170, 0], [170, 460]], [[170, 330], [300, 460], [470, 460]]],
    0: [[[120, 0], [480, 0], [480, 640], [120, 640], [120, 0]], [[140, 60], [460, 580]]],
    1: [[[300, 0], [300, 640], [170, 520]], [[170, 0], [430, 0]]],
    2: [[[120, 640], [480, 640], [480, 320], [120, 320], [120, 0], [480, 0]]],
    3: [[[120, 640], [480, 640], [480, 0], [120, 0]], [[180, 320], [480, 320]]],
    4: [[[120, 640], [120, 260], [480, 260]], [[400, 480], [400, 0]]],
    5: [[[480, 640], [120, 640], [120, 330], [480, 330], [480, 0], [120, 0]]],
    6: [[[480, 640], [120, 640], [120, 0], [480, 0], [480, 330], [120, 330]]],
    7: [[[120, 640], [480, 640], [240, 0]]],
    8: [[[120, 0], [480, 0], [480, 640], [120, 640], [120, 0]], [[120, 320], [480, 320]]],
    9: [[[480, 310], [120, 310], [120, 640], [480, 640], [480, 0], [120, 0]]],
    a: [[[140, 460], [460, 460], [460, 0], [140, 0], [140, 230], [460, 230]]],
    b: [[[130, 700], [130, 0], [470, 0], [470, 420], [130, 420]]],
    c: [[[470, 460], [130, 460], [130, 0], [470, 0]]],
    d: [[[470, 700], [470, 0], [130, 0], [130, 420], [470, 420]]],
    e: [[[130, 230], [470, 230], [470, 460], [130, 460], [130, 0], [470, 0]]],
    f: [[[480, 700], [280, 700], [280, 0]], [[130, 460], [460, 460]]],
  };

  // The outline of a stroke from `a` to `b`: a rectangle FONT_STROKE wide,
  // reaching half that past each end so that joints close; clockwise, as
  // TrueType fills.
  function fontSegment([ax, ay], [bx, by]) {
    const length = Math.hypot(bx - ax, by - ay);
    const ux = ((bx - ax) / length) * (FONT_STROKE / 2);
    const uy = ((by - ay) / length) * (FONT_STROKE / 2);
    const points = [[ax - ux - uy, ay - uy + ux], [bx + ux - uy, by + uy + ux],
      [bx + ux + uy, by + uy - ux], [ax - ux + uy, ay - uy - ux]];
    return points.map(([x, y]) => [Math.round(x), Math.round(y)]);
  }

  // A simple glyph's bytes: its contours, every point on the curve.
  function fontSimpleGlyph(contours) {
    const points = contours.flat();
    const xs = points.map((p) => p[0]);
    const ys = points.map((p) => p[1]);
    const out = [["i16", contours.length], ["i16", Math.min(...xs)], ["i16", Math.min(...ys)],
      ["i16", Math.max(...xs)], ["i16", Math.max(...ys)]];
    let end = -1;
    for (const contour of contours) out.push(["u16", (end += contour.length)]);
    out.push(["u16", 0]);  // no instructions
    for (let i = 0; i < points.length; i += 1) out.push(["u8", 1]);  // on the curve, 16-bit deltas
    for (const axis of [0, 1]) {
      let last = 0;
      for (const p of points) {
        out.push(["i16", p[axis] - last]);
        last = p[axis];
      }
    }
    return { fields: out, box: [Math.min(...xs), Math.min(...ys), Math.max(...xs), Math.max(...ys)],
      points: points.length, contours: contours.length };
  }

  // A composite glyph's bytes: glyph `ids[k]` moved k columns to the right.
  function fontCompositeGlyph(ids, boxes) {
    const out = [["i16", -1], ["i16", boxes[0][0]],
      ["i16", Math.min(...boxes.map((b) => b[1]))],
      ["i16", FONT_COLUMN * (ids.length - 1) + boxes[boxes.length - 1][2]],
      ["i16", Math.max(...boxes.map((b) => b[3]))]];
    ids.forEach((id, k) => {
      const more = k + 1 < ids.length ? 0x0020 : 0;
      out.push(["u16", 0x0003 | more], ["u16", id], ["i16", FONT_COLUMN * k], ["i16", 0]);
    });
    return { fields: out, box: [out[1][1], out[2][1], out[3][1], out[4][1]] };
  }

  // Writes typed fields big-endian; returns the bytes, padded to 4.
  function fontBytes(fields) {
    const size = { u8: 1, u16: 2, i16: 2, u32: 4, tag: 4 };
    const length = fields.reduce((sum, [type]) => sum + size[type], 0);
    const view = new DataView(new ArrayBuffer((length + 3) & ~3));
    let at = 0;
    for (const [type, value] of fields) {
      if (type === "u8") view.setUint8(at, value);
      else if (type === "u16") view.setUint16(at, value);
      else if (type === "i16") view.setInt16(at, value);
      else if (type === "u32") view.setUint32(at, value >>> 0);
      else for (let k = 0; k < 4; k += 1) view.setUint8(at + k, value.charCodeAt(k));
      at += size[type];
    }
    return { bytes: new Uint8Array(view.buffer), length };
  }

  function fontChecksum(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.length);
    let sum = 0;
    for (let i = 0; i < bytes.length; i += 4) sum = (sum + view.getUint32(i)) >>> 0;
    return sum;
  }

  // The font file: glyph 0 empty, glyph 1 + b the escape of byte b, then the
  // symbols the escapes are made of.
  function byteFont() {
    const names = Object.keys(FONT_SYMBOLS);
    const symbols = names.map((name) => fontSimpleGlyph(
      FONT_SYMBOLS[name].flatMap((line) => line.slice(1).map((p, k) => fontSegment(line[k], p)))));
    const symbolId = (name) => 257 + names.indexOf(name);
    const glyphs = [{ fields: [], advance: FONT_COLUMN, box: [0, 0, 0, 0] }];
    let compositePoints = 0;
    let compositeContours = 0;
    for (let b = 0; b < 256; b += 1) {
      const parts = b === 0x0d ? ["\\", "r"]
        : ["\\", "x", ...b.toString(16).padStart(2, "0")];
      const used = parts.map((p) => symbols[names.indexOf(p)]);
      const composite = fontCompositeGlyph(parts.map(symbolId), used.map((u) => u.box));
      glyphs.push({ ...composite, advance: FONT_COLUMN * parts.length });
      compositePoints = Math.max(compositePoints, used.reduce((sum, u) => sum + u.points, 0));
      compositeContours = Math.max(compositeContours, used.reduce((sum, u) => sum + u.contours, 0));
    }
    for (const symbol of symbols) glyphs.push({ ...symbol, advance: FONT_COLUMN });
    const count = glyphs.length;
    const box = [0, 1, 2, 3].map((k) => (k < 2 ? Math.min : Math.max)(...glyphs.map((g) => g.box[k])));

    const glyf = [];
    const loca = [];
    let offset = 0;
    for (const glyph of glyphs) {
      loca.push(["u32", offset]);
      const { bytes } = fontBytes(glyph.fields);
      glyf.push(bytes);
      offset += bytes.length;
    }
    loca.push(["u32", offset]);
    const glyfBytes = new Uint8Array(offset);
    glyf.reduce((at, bytes) => (glyfBytes.set(bytes, at), at + bytes.length), 0);

    const widest = FONT_COLUMN * 4;
    const ascent = 800;
    const descent = 200;
    const tables = {  // in the sorted order of their tags, as the directory lists them
      "OS/2": [["u16", 4], ["i16", FONT_COLUMN * 3], ["u16", 400], ["u16", 5], ["u16", 0],
        ...Array(10).fill(["i16", 0]), ["i16", 0],  // sub- and superscripts, strikeout, class
        ...Array(10).fill(["u8", 0]),                // panose
        ["u32", 0], ["u32", 1 << 28], ["u32", 0], ["u32", 0],  // the private use area
        ["tag", "NONE"], ["u16", 0x40], ["u16", 0xf700], ["u16", 0xf7ff],
        ["i16", ascent], ["i16", -descent], ["i16", 0], ["u16", ascent], ["u16", descent],
        ["u32", 0], ["u32", 0], ["i16", 460], ["i16", 640], ["u16", 0], ["u16", 0x20], ["u16", 1]],
      cmap: [["u16", 0], ["u16", 1], ["u16", 3], ["u16", 1], ["u32", 12],
        // format 4: U+F700..U+F7FF to glyphs 1..256, and the closing segment
        ["u16", 4], ["u16", 32], ["u16", 0], ["u16", 4], ["u16", 4], ["u16", 1], ["u16", 0],
        ["u16", 0xf7ff], ["u16", 0xffff], ["u16", 0],
        ["u16", 0xf700], ["u16", 0xffff],
        ["u16", (1 - 0xf700) & 0xffff], ["u16", 1],
        ["u16", 0], ["u16", 0]],
      glyf: { bytes: glyfBytes, length: glyfBytes.length },
      head: [["u32", 0x00010000], ["u32", 0x00010000], ["u32", 0], ["u32", 0x5f0f3cf5],
        ["u16", 0x000b], ["u16", 1000], ["u32", 0], ["u32", 0], ["u32", 0], ["u32", 0],
        ...box.map((v) => ["i16", v]),
        ["u16", 0], ["u16", 8], ["i16", 2], ["i16", 1], ["i16", 0]],
      hhea: [["u32", 0x00010000], ["i16", ascent], ["i16", -descent], ["i16", 0], ["u16", widest],
        ["i16", 0], ["i16", 0], ["i16", widest], ["i16", 1], ["i16", 0], ["i16", 0],
        ["i16", 0], ["i16", 0], ["i16", 0], ["i16", 0], ["i16", 0], ["u16", count]],
      hmtx: glyphs.flatMap((g) => [["u16", g.advance], ["i16", g.box[0]]]),
      loca,
      maxp: [["u32", 0x00010000], ["u16", count],
        ["u16", Math.max(...symbols.map((s) => s.points))],
        ["u16", Math.max(...symbols.map((s) => s.contours))],
        ["u16", compositePoints], ["u16", compositeContours],
        ["u16", 2], ["u16", 0], ["u16", 0], ["u16", 0], ["u16", 0], ["u16", 0], ["u16", 0],
        ["u16", 4], ["u16", 1]],
      name: fontNameTable(["sentgen bytes", "Regular", "sentgen bytes 1", "sentgen bytes",
        "Version 1.0", "sentgen-bytes"]),
      post: [["u32", 0x00030000], ["u32", 0], ["i16", -100], ["i16", 50],
        ["u32", 0], ["u32", 0], ["u32", 0], ["u32", 0], ["u32", 0]],
    };

    return fontFile(Object.fromEntries(Object.entries(tables).map(([tag, table]) =>
      [tag, Array.isArray(table) ? fontBytes(table) : table])));
  }

  // The name table's fields for the names 1 to 6 (family, style, unique
  // name, full name, version, PostScript name), in the Windows platform's UTF-16.
  function fontNameTable(names) {
    const fields = [["u16", 0], ["u16", names.length], ["u16", 6 + 12 * names.length]];
    let at = 0;
    names.forEach((name, k) => {
      fields.push(["u16", 3], ["u16", 1], ["u16", 0x409], ["u16", k + 1], ["u16", 2 * name.length],
        ["u16", at]);
      at += 2 * name.length;
    });
    for (const name of names) for (const c of name) fields.push(["u16", c.charCodeAt(0)]);
    return fields;
  }

  // The font file of `tables`, each {bytes padded to 4, length}, keyed by
  // tags given in their sorted order: the directory, then the tables.
  function fontFile(tables) {
    const tags = Object.keys(tables);
    const offsets = [];
    let size = 12 + 16 * tags.length;
    for (const tag of tags) {
      offsets.push(size);
      size += tables[tag].bytes.length;
    }
    const directory = [["u32", 0x00010000], ["u16", tags.length], ["u16", 128], ["u16", 3],
      ["u16", tags.length * 16 - 128]];
    tags.forEach((tag, k) => directory.push(["tag", tag], ["u32", fontChecksum(tables[tag].bytes)],
      ["u32", offsets[k]], ["u32", tables[tag].length]));
    const file = new Uint8Array(size);
    file.set(fontBytes(directory).bytes, 0);
    tags.forEach((tag, k) => file.set(tables[tag].bytes, offsets[k]));
    // head's checkSumAdjustment makes the whole file sum to B1B0AFBA.
    new DataView(file.buffer).setUint32(offsets[tags.indexOf("head")] + 8,
      (0xb1b0afba - fontChecksum(file)) >>> 0);
    return file;
  }

  return byteFont;
})();

if (typeof module !== "undefined") module.exports = { byteFont };
