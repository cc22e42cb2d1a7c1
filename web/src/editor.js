// The source editor: CodeMirror with line numbers, undo history, the
// language's colours, indentation and bracket matching, a mark on the line of
// an error, every byte of the program visible, and the marks that link it to
// the code and the tree: each statement's colour band and the linked span;
// a syntax error underlined at its token with its explanation beside it, and
// the token and reduction of the parse step shown.
import { EditorState, StateEffect, StateField, RangeSet } from '@codemirror/state';
import { setDiagnostics } from '@codemirror/lint';
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
import { bandCount } from './compile_map.js';
import { r1Support } from './language.js';

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

const setBands = StateEffect.define();  // [[line, band], ...] of the last compile
const setLinked = StateEffect.define();  // [[from, to], ...]: the spans linked to what the pointer or cursor is on

const bandDecorations = Array.from({ length: bandCount }, (_, k) => Decoration.line({ class: `cm-band cm-band-${k}` }));
const linkedDecoration = Decoration.mark({ class: 'cm-linked' });

// The bands and the linked spans, moved along with the edits made since.
const links = StateField.define({
  create: () => ({ bands: Decoration.none, linked: Decoration.none }),
  update(marks, transaction) {
    let bands = marks.bands.map(transaction.changes);
    let linked = marks.linked.map(transaction.changes);
    const doc = transaction.state.doc;
    for (const effect of transaction.effects) {
      if (effect.is(setBands)) {
        const ranges = effect.value.filter(([line]) => line <= doc.lines).map(([line, band]) => bandDecorations[band].range(doc.line(line).from));
        bands = Decoration.set(ranges, true);
      }
      if (effect.is(setLinked)) {
        const ranges = effect.value.filter(([from, to]) => from < to && to <= doc.length).map(([from, to]) => linkedDecoration.range(from, to));
        linked = Decoration.set(ranges, true);
      }
    }
    return { bands, linked };
  },
  provide: (field) => [EditorView.decorations.from(field, (marks) => marks.bands), EditorView.decorations.from(field, (marks) => marks.linked)],
});

// The explanation of a syntax error, after the end of its line: drawn by the
// style sheet from the line's data-note, it stays out of the text.
const setErrorNote = StateEffect.define();  // {at, text}, or null for none
const errorNote = StateField.define({
  create: () => Decoration.none,
  update(note, transaction) {
    note = note.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (!effect.is(setErrorNote)) continue;
      const doc = transaction.state.doc;
      note = effect.value && effect.value.at <= doc.length
        ? Decoration.set([Decoration.line({ class: 'cm-errorNote', attributes: { 'data-note': effect.value.text } }).range(doc.lineAt(effect.value.at).from)])
        : Decoration.none;
    }
    return note;
  },
  provide: (field) => EditorView.decorations.from(field),
});

const setStepMarks = StateEffect.define();  // {token: [from, to] or null, reduced: [from, to] or null}
const stepTokenDecoration = Decoration.mark({ class: 'cm-stepToken' });
const stepReducedDecoration = Decoration.mark({ class: 'cm-stepReduced' });
const stepMarks = StateField.define({
  create: () => Decoration.none,
  update(marks, transaction) {
    marks = marks.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (!effect.is(setStepMarks)) continue;
      const doc = transaction.state.doc;
      const ranges = [];
      const add = (span, decoration) => {
        if (span && span[0] < span[1] && span[1] <= doc.length) ranges.push(decoration.range(span[0], span[1]));
      };
      add(effect.value.reduced, stepReducedDecoration);
      add(effect.value.token, stepTokenDecoration);
      marks = Decoration.set(ranges, true);
    }
    return marks;
  },
  provide: (field) => EditorView.decorations.from(field),
});

// Control characters and bytes that are not UTF-8 show as small boxes
// holding the byte's value in hex, as the report shows them (a NUL as 00, a
// carriage return as 0D); other special characters show CodeMirror's mark.
function renderSpecialChar(code, description, placeholder) {
  const box = document.createElement('span');
  box.className = 'cm-specialChar';
  const byte = isRawByteChar(code) ? code - 0xf700 : code < 0x20 || code === 0x7f ? code : -1;
  if (byte >= 0) {
    box.textContent = byte.toString(16).toUpperCase().padStart(2, '0');
    box.title = `byte 0x${box.textContent}`;
  } else {
    box.textContent = placeholder;
    box.title = description;
  }
  box.setAttribute('aria-label', box.title);
  return box;
}

// Typing over a selection of coloured text makes Chromium keep the text's
// colour in a style attribute, which the page's Content-Security-Policy
// refuses and reports; the editor replaces such a selection itself.
const typeOverSelection = EditorView.domEventHandlers({
  beforeinput(event, view) {
    if (event.inputType !== 'insertText' || event.isComposing || !event.data || view.state.selection.main.empty) return false;
    event.preventDefault();
    view.dispatch({ ...view.state.replaceSelection(event.data), scrollIntoView: true, userEvent: 'input.type' });
    return true;
  },
});

// The editor's look. CodeMirror adds its styles as constructed style sheets
// inside a shadow root, which the page's Content-Security-Policy allows; in
// the document itself it would need an inline <style> element.
// Its colours are the page's CSS variables, which reach into the shadow root
// and change with the light or dark theme.
const theme = EditorView.theme({
  '&': { height: '100%', fontSize: '13px', color: 'var(--fg)', backgroundColor: 'var(--bg)' },
  '.cm-scroller': { fontFamily: 'ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace' },
  '.cm-content': { caretColor: 'var(--fg)' },
  '.cm-cursor, .cm-dropCursor': { borderLeftColor: 'var(--fg)' },
  '.cm-gutters': { backgroundColor: 'var(--panel)', color: 'var(--muted)', borderRight: '1px solid var(--border)' },
  '.cm-activeLine': { backgroundColor: 'var(--active-line)' },
  '.cm-activeLineGutter': { backgroundColor: 'var(--active-line)' },
  '&.cm-focused .cm-selectionBackground, .cm-selectionBackground, ::selection': { backgroundColor: 'var(--selection) !important' },
  '&.cm-focused': { outline: '2px solid var(--focus)' },
  '.cm-matchingBracket': { backgroundColor: 'var(--bracket)', outline: '1px solid var(--muted)' },
  '.cm-nonmatchingBracket': { color: 'var(--error)', outline: '1px solid var(--error)' },
  '.cm-errorLine': { backgroundColor: 'var(--error-line)' },
  '.cm-errorGutter': { backgroundColor: 'var(--error)', color: 'var(--bg)' },
  ...Object.fromEntries(Array.from({ length: bandCount }, (_, k) => [`.cm-band-${k}`, { boxShadow: `inset 5px 0 var(--band-${k})` }])),
  '.cm-linked': { backgroundColor: 'var(--linked)', outline: '1px solid var(--linked-border)' },
  // The error's underline as text decoration: the lint package draws it with
  // a data: image, which the page's Content-Security-Policy refuses.
  '.cm-lintRange-error': { backgroundImage: 'none', textDecoration: 'underline wavy var(--error)', textDecorationSkipInk: 'none', textUnderlineOffset: '3px' },
  '.cm-lintPoint-error:after': { borderBottomColor: 'var(--error)' },
  '.cm-errorNote::after': { content: 'attr(data-note)', color: 'var(--error)', marginLeft: '2em', fontStyle: 'italic' },
  '.cm-tooltip': { backgroundColor: 'var(--panel)', color: 'var(--fg)', border: '1px solid var(--border)' },
  '.cm-stepToken': { outline: '2px solid var(--focus)', borderRadius: '2px' },
  '.cm-stepReduced': { backgroundColor: 'var(--linked)' },
  '.cm-specialChar': {
    fontSize: '0.75em',
    border: '1px solid var(--byte-border)',
    borderRadius: '3px',
    color: 'var(--byte)',
    padding: '0 0.1em',
  },
});

const extensionsOf = new WeakMap();  // view -> the extensions it was made with

// onChange(update) follows every change of the text the user makes;
// onPointer(line or 0) the pointer's line over the text; onCursor() every
// move of the cursor.
export function createEditor(host, onChange, onPointer = () => {}, onCursor = () => {}) {
  const root = host.attachShadow({ mode: 'open' });
  const extensions = [
    theme,
    lineNumbers(),
    history(),
    highlightActiveLine(),
    highlightSpecialChars({ render: renderSpecialChar, addSpecialChars: /[\uf780-\uf7ff\r]/ }),
    r1Support,
    typeOverSelection,
    // Tab indents; Esc, then Tab, leaves the editor (the page says so).
    keymap.of([...defaultKeymap, ...historyKeymap, indentWithTab]),
    // Only a newline ends a line: a carriage return is a byte of the program.
    EditorState.lineSeparator.of('\n'),
    errorLine,
    errorNote,
    stepMarks,
    links,
    EditorView.domEventHandlers({
      mousemove(event, view) {
        const at = view.posAtCoords({ x: event.clientX, y: event.clientY });
        onPointer(at === null ? 0 : view.state.doc.lineAt(at).number);
      },
      mouseleave() {
        onPointer(0);
      },
    }),
    EditorView.contentAttributes.of({ 'aria-label': 'Program (Esc, then Tab, leaves the editor)' }),
    EditorView.updateListener.of((update) => {
      if (update.docChanged) onChange(update);
      if (update.selectionSet) onCursor();
    }),
  ];
  const view = new EditorView({ root, parent: root, state: EditorState.create({ extensions }) });
  extensionsOf.set(view, extensions);
  return view;
}

// Another program: a new document with its own undo history, so that undo
// never brings back the program shown before. Calls no onChange.
export function replaceText(view, text) {
  const hadFocus = view.hasFocus;
  view.setState(EditorState.create({ doc: text, extensions: extensionsOf.get(view) }));
  if (hadFocus) view.focus();
}

export function markErrorLine(view, line) {
  view.dispatch({ effects: setErrorLine.of(line) });
}

export function showBands(view, bands) {
  view.dispatch({ effects: setBands.of(bands) });
}

export function showLinked(view, spans) {
  view.dispatch({ effects: setLinked.of(spans) });
}

// Selects a span of the text and brings it into view.
export function selectSpan(view, from, to) {
  view.dispatch({ selection: { anchor: from, head: to }, scrollIntoView: true });
  view.focus();
}

// The diagnostic of a syntax error, {from, to, message} in the editor's
// positions, or null: the token underlined, the message beside its line and
// in the underline's tooltip.
export function showDiagnostic(view, diagnostic) {
  const length = view.state.doc.length;
  const list = diagnostic ? [{ from: Math.min(diagnostic.from, length), to: Math.min(diagnostic.to, length), severity: 'error', message: diagnostic.message }] : [];
  view.dispatch(setDiagnostics(view.state, list));
  view.dispatch({ effects: setErrorNote.of(diagnostic ? { at: Math.min(diagnostic.from, length), text: diagnostic.message } : null) });
}

// The parse step's lookahead token and the bytes its reduction covers, in the
// editor's positions; the token is brought into view.
export function showStepMarks(view, token, reduced) {
  const effects = [setStepMarks.of({ token, reduced })];
  const at = token && token[1] <= view.state.doc.length ? token[0] : reduced && reduced[1] <= view.state.doc.length ? reduced[0] : -1;
  if (at >= 0) effects.push(EditorView.scrollIntoView(at, { y: 'nearest' }));
  view.dispatch({ effects });
}
