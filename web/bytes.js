// SPDX-License-Identifier: MIT
// A grammar file is bytes, and the editor holds text. Bytes that are UTF-8
// text become their characters; every other byte (those not UTF-8, control
// bytes other than tab and newline, the UTF-8 of a control character, and
// NUL and CR, which a text area would drop or turn into a newline) becomes
// one character of the private-use range U+F700 to U+F7FF that stands for
// it, so that any file goes through the editor and back unchanged, and
// byte_font.js draws it as its escape.
"use strict";

const sentgenBytes = (() => {
  const BYTE_CHAR = 0xf700;  // the character for byte b is BYTE_CHAR + b

  // Whether the character code `c` stands for a byte.
  function isByteChar(c) {
    return c >= BYTE_CHAR && c <= BYTE_CHAR + 0xff;
  }

  // The length of the UTF-8 sequence at bytes[i], or 0 when it is not one
  // that decodes to a character the editor keeps as it is and shows.
  function utf8Length(bytes, i) {
    const b = bytes[i];
    if (b < 0x80) return (b < 0x20 && b !== 0x09 && b !== 0x0a) || b === 0x7f ? 0 : 1;
    let length, min;
    if (b >= 0xc2 && b <= 0xdf) [length, min] = [2, 0x80];
    else if (b >= 0xe0 && b <= 0xef) [length, min] = [3, 0x800];
    else if (b >= 0xf0 && b <= 0xf4) [length, min] = [4, 0x10000];
    else return 0;
    if (i + length > bytes.length) return 0;
    let c = b & (0xff >> (length + 1));
    for (let k = 1; k < length; k++) {
      if ((bytes[i + k] & 0xc0) !== 0x80) return 0;
      c = (c << 6) | (bytes[i + k] & 0x3f);
    }
    // A byte-order mark is kept as its bytes, so that it shows.
    const bad = c < min || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff) || isByteChar(c) ||
      c === 0xfeff || c <= 0x9f;
    return bad ? 0 : length;
  }

  // The editor's text for the bytes of a file.
  function bytesToText(bytes) {
    const decoder = new TextDecoder();
    let text = "";
    for (let i = 0; i < bytes.length;) {
      let j = i;
      while (j < bytes.length) {
        const n = utf8Length(bytes, j);
        if (n === 0) break;
        j += n;
      }
      text += decoder.decode(bytes.subarray(i, j));
      if (j < bytes.length) text += String.fromCharCode(BYTE_CHAR + bytes[j++]);
      i = j;
    }
    return text;
  }

  // The bytes of a file for the editor's text.
  function textToBytes(text) {
    const encoder = new TextEncoder();
    const chunks = [];
    let size = 0;
    let start = 0;
    const flush = (end) => {
      if (end > start) {
        const chunk = encoder.encode(text.slice(start, end));
        chunks.push(chunk);
        size += chunk.length;
      }
    };
    for (let i = 0; i < text.length; i++) {
      const c = text.charCodeAt(i);
      if (!isByteChar(c)) continue;
      flush(i);
      chunks.push(Uint8Array.of(c - BYTE_CHAR));
      size += 1;
      start = i + 1;
    }
    flush(text.length);
    const bytes = new Uint8Array(size);
    let at = 0;
    for (const chunk of chunks) {
      bytes.set(chunk, at);
      at += chunk.length;
    }
    return bytes;
  }

  // Base64url, for the grammar in the page's address.
  function bytesToBase64url(bytes) {
    let binary = "";
    for (let i = 0; i < bytes.length; i += 0x8000) {
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    return btoa(binary).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
  }

  function base64urlToBytes(text) {
    const binary = atob(text.replace(/-/g, "+").replace(/_/g, "/"));
    return Uint8Array.from(binary, (c) => c.charCodeAt(0));
  }

  // A count of bytes as the page writes it.
  function formatBytes(count) {
    if (count < 10000) return `${count} bytes`;
    if (count < 10 << 20) return `${(count / 1024).toFixed(0)} KB`;
    return `${(count / (1 << 20)).toFixed(1)} MB`;
  }

  return { BYTE_CHAR, isByteChar, utf8Length, bytesToText, textToBytes, bytesToBase64url,
    base64urlToBytes, formatBytes };
})();

if (typeof module !== "undefined") module.exports = sentgenBytes;
