// The source editor: CodeMirror with line numbers, undo history, a mark on
// the line of an error, and every byte of the program visible.
import { EditorState, StateEffect, StateField, RangeSet } from '@codemirror/state';
import {
  Decoration,
  EditorView,
  GutterMarker,
  gutterLineClass,
  highlightActiveLine,
  highlightSpecialChars,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { isRawByteChar } from './bytes.js';

const setErrorLine = StateEffect.define();  // a line number, or 0 for none

const errorLineDecoration = Decoration.line({ class: 'cm-errorLine' });
const errorGutterMarker = new (class extends GutterMarker {
  elementClass = 'cm-errorGutter';
})();

// The marked line's decorations in the text and in the line-number gutter.
const errorLine = StateField.define({
  create: () => ({ text: Decoration.none, gutter: RangeSet.empty }),
  update(marks, transaction) {
    let { text, gutter } = marks;
    text = text.map(transaction.changes);
    gutter = gutter.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (!effect.is(setErrorLine)) continue;
      if (effect.value <= 0) return { text: Decoration.none, gutter: RangeSet.empty };
      const doc = transaction.state.doc;
      const line = doc.line(Math.min(effect.value, doc.lines));
      text = Decoration.set([errorLineDecoration.range(line.from)]);
      gutter = RangeSet.of([errorGutterMarker.range(line.from)]);
    }
    return { text, gutter };
  },
  provide: (field) => [
    EditorView.decorations.from(field, (marks) => marks.text),
    gutterLineClass.from(field, (marks) => marks.gutter),
  ],
});

// Control characters and bytes that are not UTF-8 show as small boxes; a
// byte's box holds its value in hex.
function renderSpecialChar(code, description, placeholder) {
  const box = document.createElement('span');
  box.className = 'cm-specialChar';
  if (isRawByteChar(code)) {
    box.textContent = (code - 0xf700).toString(16).toUpperCase();
    box.title = `byte 0x${box.textContent}`;
  } else {
    box.textContent = placeholder;
    box.title = description;
  }
  box.setAttribute('aria-label', box.title);
  return box;
}

// The editor's look. CodeMirror adds its styles as constructed style sheets
// inside a shadow root, which the page's Content-Security-Policy allows; in
// the document itself it would need an inline <style> element.
const theme = EditorView.theme({
  '&': { height: '100%', fontSize: '13px' },
  '.cm-scroller': { fontFamily: 'ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace' },
  '.cm-errorLine': { backgroundColor: '#fde2e1' },
  '.cm-errorGutter': { backgroundColor: '#c0392b', color: 'white' },
  '.cm-specialChar': {
    fontSize: '0.75em',
    border: '1px solid #d08770',
    borderRadius: '3px',
    color: '#a0522d',
    padding: '0 0.1em',
  },
});

export function createEditor(host, onChange) {
  const root = host.attachShadow({ mode: 'open' });
  return new EditorView({
    root,
    parent: root,
    state: EditorState.create({
      extensions: [
        theme,
        lineNumbers(),
        history(),
        highlightActiveLine(),
        highlightSpecialChars({ render: renderSpecialChar, addSpecialChars: /[\uf780-\uf7ff\r]/ }),
        keymap.of([...defaultKeymap, ...historyKeymap, indentWithTab]),
        // Only a newline ends a line: a carriage return is a byte of the program.
        EditorState.lineSeparator.of('\n'),
        errorLine,
        EditorView.updateListener.of((update) => {
          if (update.docChanged) onChange();
        }),
      ],
    }),
  });
}

export function replaceText(view, text) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, effects: setErrorLine.of(0) });
}

export function markErrorLine(view, line) {
  view.dispatch({ effects: setErrorLine.of(line) });
}
