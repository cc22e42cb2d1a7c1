// The language for the editor: a stream parser that colours keywords,
// numbers, names, operators and bytes that begin no token, indents by braces
// and parentheses, and takes a typed '}' back out to its block's level.
import { StreamLanguage, HighlightStyle, syntaxHighlighting, bracketMatching, indentOnInput, indentUnit } from '@codemirror/language';
import { tags } from '@lezer/highlight';

const keywords = new Set(['void', 'int', 'if', 'else', 'while', 'do', 'for']);
const types = new Set(['void', 'int']);
const indentWidth = 2;

// The parser's state: the open brackets, innermost last, as the columns their
// contents are indented to.
const parser = {
  name: 'r1',
  startState: () => ({ open: [] }),
  copyState: (state) => ({ open: state.open.slice() }),
  token(stream, state) {
    if (stream.eatSpace()) return null;
    if (stream.match(/^[A-Za-z][A-Za-z0-9_]*/)) {
      const word = stream.current();
      if (types.has(word)) return 'typeName';
      return keywords.has(word) ? 'keyword' : 'variableName';
    }
    if (stream.match(/^[0-9]+/)) return 'number';
    if (stream.match(/^(==|!=|<=|>=|&&|\|\||[=<>+\-*/%!])/)) return 'operator';
    const c = stream.next();
    if (c === '{' || c === '(') {
      state.open.push(stream.indentation() + indentWidth);
      return c === '{' ? 'brace' : 'paren';
    }
    if (c === '}' || c === ')') {
      state.open.pop();
      return c === '}' ? 'brace' : 'paren';
    }
    if (c === ';' || c === ',') return 'punctuation';
    return 'invalid';
  },
  // A line starting with a closing bracket goes back to its opener's level.
  indent(state, textAfter) {
    const innermost = state.open[state.open.length - 1];
    if (innermost === undefined) return 0;
    return /^[}\)]/.test(textAfter) ? innermost - indentWidth : innermost;
  },
  languageData: { indentOnInput: /^\s*[}\)]$/ },
};

export const r1Language = StreamLanguage.define(parser);

// Colours through CSS variables, which the page sets for light and dark.
const highlightStyle = HighlightStyle.define([
  { tag: tags.keyword, color: 'var(--syntax-keyword)', fontWeight: 'bold' },
  { tag: tags.typeName, color: 'var(--syntax-type)', fontWeight: 'bold' },
  { tag: tags.number, color: 'var(--syntax-number)' },
  { tag: tags.operator, color: 'var(--syntax-operator)' },
  { tag: tags.variableName, color: 'var(--syntax-name)' },
  { tag: tags.invalid, color: 'var(--error)', textDecoration: 'underline wavy' },
]);

export const r1Support = [
  r1Language,
  indentUnit.of(' '.repeat(indentWidth)),
  syntaxHighlighting(highlightStyle),
  bracketMatching(),
  indentOnInput(),
];
