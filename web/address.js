// SPDX-License-Identifier: MIT
// The page's address holds the grammar (#g= and its bytes in base64url),
// and after it the test strings (&t=) and the grammar compared with (&c=)
// when there are any, so that a link gives them to someone else; each load is an entry of the
// history, so that Back gives back the text before it, and an edit
// rewrites the current entry. A link that cannot be read says why, and the
// address is left as it is until the grammar is edited.
"use strict";

// `bytes`: bytes.js. `examples`: the example grammars, {name, text}; the
// first is shown when the address holds none that can be read.
// `grammar()`: the editor's bytes. `load(bytes)`: puts a grammar in the
// editor. `notice(text)`: says why a link was not read; "": nothing.
// `extras`: the other parts kept, each {key: "t" or "c", get(): its bytes,
// set(bytes)}.
function makeAddress({ bytes, examples, grammar, load, notice, extras }) {
  const ADDRESS_LIMIT = 48 << 10;  // bytes of a grammar kept in the address
  let owned = true;  // whether the address may follow the editor

  function addressOf(fileBytes) {
    if (fileBytes.length > ADDRESS_LIMIT) return "#";
    let address = `#g=${bytes.bytesToBase64url(fileBytes)}`;
    for (const extra of extras) {
      const kept = extra.get();
      if (kept.length > 0 && kept.length <= ADDRESS_LIMIT) address += `&${extra.key}=${bytes.bytesToBase64url(kept)}`;
    }
    return address;
  }

  function keep() {
    if (owned) history.replaceState(null, "", addressOf(grammar()));
  }

  // Loads the grammar of the address; false when it holds none.
  function loadFromAddress() {
    const hash = location.hash;
    if (hash === "" || hash === "#") return false;
    const match = /^#g=([A-Za-z0-9_-]*)((?:&[tc]=[A-Za-z0-9_-]*)*)$/.exec(hash);
    let why = "";
    if (!match) {
      why = "it does not start with #g= followed by base64url (A-Z, a-z, 0-9, - and _)";
    } else {
      try {
        const parts = new Map(match[2].split("&").slice(1).map((part) => [part[0], part.slice(2)]));
        const kept = extras.map((extra) => bytes.base64urlToBytes(parts.get(extra.key) || ""));
        load(bytes.base64urlToBytes(match[1]));
        extras.forEach((extra, k) => extra.set(kept[k]));
        owned = true;
        notice("");
        return true;
      } catch (error) {
        why = `its grammar is not whole base64url (${error.message || error})`;
      }
    }
    owned = false;
    load(new TextEncoder().encode(examples[0].text));
    notice(`The link's grammar could not be read: ${why}. Shown instead: the example ` +
      `"${examples[0].name}". The address is kept as it is until you edit.`);
    return true;
  }

  addEventListener("popstate", loadFromAddress);

  return {
    keep,
    loadFromAddress,
    // Loads `fileBytes` as a new entry of the history, the edited text
    // staying in the entry before.
    loadAsEntry(fileBytes) {
      if (owned) keep();
      history.pushState(null, "", addressOf(fileBytes));
      owned = true;
      notice("");
      load(fileBytes);
    },
    // The user edited: the address follows the editor again.
    claim() {
      if (owned) return;
      owned = true;
      notice("");
    },
  };
}
