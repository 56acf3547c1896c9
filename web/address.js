// SPDX-License-Identifier: MIT
// The page's address holds the grammar (#g= and its bytes in base64url), so
// that a link gives it to someone else; each load is an entry of the
// history, so that Back gives back the text before it, and an edit
// rewrites the current entry. A link that cannot be read says why, and the
// address is left as it is until the grammar is edited.
"use strict";

// `bytes`: bytes.js. `examples`: the example grammars, {name, text}; the
// first is shown when the address holds none that can be read.
// `grammar()`: the editor's bytes. `load(bytes)`: puts a grammar in the
// editor. `notice(text)`: says why a link was not read; "": nothing.
function makeAddress({ bytes, examples, grammar, load, notice }) {
  const ADDRESS_LIMIT = 48 << 10;  // bytes of a grammar kept in the address
  let owned = true;  // whether the address may follow the editor

  function addressOf(fileBytes) {
    return fileBytes.length > ADDRESS_LIMIT ? "#" : `#g=${bytes.bytesToBase64url(fileBytes)}`;
  }

  function keep() {
    if (owned) history.replaceState(null, "", addressOf(grammar()));
  }

  // Loads the grammar of the address; false when it holds none.
  function loadFromAddress() {
    const hash = location.hash;
    if (hash === "" || hash === "#") return false;
    const match = /^#g=([A-Za-z0-9_-]*)$/.exec(hash);
    let why = "";
    if (!match) {
      why = "it does not start with #g= followed by base64url (A-Z, a-z, 0-9, - and _)";
    } else {
      try {
        load(bytes.base64urlToBytes(match[1]));
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
