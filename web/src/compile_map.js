// The map of a compile, as the compile worker receives it from r1c (see
// playground_map in playground.cpp), with the indexes that make linking the
// panes cheap: each source line's nodes, each node's code lines, each
// subtree's extent. All are built once per compile, in time linear in the map.

const headerSize = 8;
const nodeSize = 12;
const codeSize = 4;

// The kinds of node the map names, as the tree's tooltips and picture name them.
const kindNames = { 0: 'name', 2: 'link', 3: 'logic', 4: 'arithmetic', 5: 'assignment', 6: 'type', 7: 'control', 272: 'number' };
const kindStyles = {
  0: 'class=identifier',
  272: 'class=number style=rounded',
  7: 'class=control shape=diamond',
  6: 'class=type shape=hexagon',
  2: 'class=link shape=circle fixedsize=true width=0.3',
};
const operatorStyle = 'class=operator shape=ellipse';
const linkKind = 2;

// Statement colour bands: each statement takes the next of this many.
export const bandCount = 6;

// Groups the integers 0..count-1 by key(i) in 0..keys-1: returns {start, items},
// the group of k being items[start[k] .. start[k + 1]], in increasing order.
function groupBy(count, keys, key) {
  const start = new Int32Array(keys + 1);
  for (let i = 0; i < count; i++) start[key(i) + 1]++;
  for (let k = 0; k < keys; k++) start[k + 1] += start[k];
  const next = start.slice(0, keys);
  const items = new Int32Array(count);
  for (let i = 0; i < count; i++) items[next[key(i)]++] = i;
  return { start, items };
}

const groupOf = ({ start, items }, k) => items.subarray(start[k], start[k + 1]);

const holdsReport = (ints) => ints && ints.length >= headerSize && ints[0] === 1 && ints[1] > 0;

// The map read from its integers, with its indexes (from mapIndexes, made in
// the compile worker, or made here), or null when it holds no report.
export function readMap(ints, out, indexes = null) {
  if (!holdsReport(ints)) return null;
  const map = fields(ints, out);
  return Object.assign(map, indexes ?? mapIndexes(ints));
}

function fields(ints, out) {
  const nodeCount = ints[1];
  const codeCount = ints[2];
  const node = (i, field) => ints[headerSize + i * nodeSize + field];
  const codeAt = headerSize + nodeCount * nodeSize;
  const code = (j, field) => ints[codeAt + j * codeSize + field];
  const map = {
    out,
    nodeCount,
    codeCount,
    parent: (i) => node(i, 0),
    kind: (i) => node(i, 1),
    statement: (i) => node(i, 2),
    isStatement: (i) => node(i, 3) === 1,
    sourceBegin: (i) => node(i, 4),
    sourceEnd: (i) => node(i, 5),
    firstLine: (i) => node(i, 6),
    lastLine: (i) => node(i, 8),
    reportBegin: (i) => node(i, 10),
    reportEnd: (i) => node(i, 11),
    codeBegin: (j) => code(j, 0),
    codeEnd: (j) => code(j, 1),
    codeNode: (j) => code(j, 2),
    codeStatement: (j) => code(j, 3),
  };
  return map;
}

// The indexes of a map, in typed arrays that a worker can hand over whole;
// null without a report.
export function mapIndexes(ints) {
  if (!holdsReport(ints)) return null;
  const map = fields(ints, null);
  const { nodeCount, codeCount } = map;
  const indexes = {};
  // A node's subtree is the nodes from it to subtreeEnd (excluded): the map
  // lists them in prefix order, each after its parent.
  const subtreeEnd = new Int32Array(nodeCount);
  for (let i = nodeCount - 1; i >= 0; i--) {
    subtreeEnd[i] = Math.max(subtreeEnd[i], i + 1);
    const p = map.parent(i);
    if (p >= 0) subtreeEnd[p] = Math.max(subtreeEnd[p], subtreeEnd[i]);
  }
  indexes.subtreeEnd = subtreeEnd;
  // A source line's own nodes start on it; a link that runs on past its line
  // only joins the statements of a list, and belongs to none of their lines.
  const ownLine = (i) => (map.kind(i) === linkKind && map.lastLine(i) > map.firstLine(i) ? 0 : map.firstLine(i));
  let lines = 0;
  for (let i = 0; i < nodeCount; i++) lines = Math.max(lines, map.lastLine(i));
  indexes.lineCount = lines;
  indexes.nodesByLine = groupBy(nodeCount, lines + 1, ownLine);
  indexes.codeByNode = groupBy(codeCount, nodeCount, map.codeNode);
  // Statements take bands in the order they start; a line, its statement's.
  indexes.band = new Int8Array(nodeCount).fill(-1);
  for (let i = 0, n = 0; i < nodeCount; i++) if (map.isStatement(i)) indexes.band[i] = n++ % bandCount;
  Object.assign(map, indexes);
  indexes.lineBand = new Int8Array(lines + 1);
  for (let line = 0; line <= lines; line++) indexes.lineBand[line] = bandOfLine(map, line);
  return indexes;
}

// The buffers of a map's indexes, to hand over with postMessage.
export const indexBuffers = (indexes) =>
  indexes
    ? [indexes.subtreeEnd, indexes.nodesByLine.start, indexes.nodesByLine.items, indexes.codeByNode.start, indexes.codeByNode.items, indexes.band, indexes.lineBand].map((a) => a.buffer)
    : [];

export const nodesOfLine = (map, line) => (line >= 1 && line <= map.lineCount ? groupOf(map.nodesByLine, line) : new Int32Array());
export const codeOfNode = (map, node) => groupOf(map.codeByNode, node);

// The code lines the nodes wrote, in output order.
export function codeOfNodes(map, nodes) {
  const lines = [];
  for (const node of nodes) lines.push(...codeOfNode(map, node));
  return lines.sort((a, b) => a - b);
}

// A line's first own node that is not a link, else its first, else -1.
function firstOwn(map, line) {
  const own = nodesOfLine(map, line);
  const found = own.find((i) => map.kind(i) !== linkKind);
  return found ?? (own.length ? own[0] : -1);
}

// The statement a source line belongs to: that of its first own node, or,
// for a line with none (a brace, a blank), the innermost statement around
// it. -1 when there is none; a node outside any statement stands for itself.
export function statementOfLine(map, line) {
  const first = firstOwn(map, line);
  if (first >= 0) return map.statement(first) >= 0 ? map.statement(first) : first;
  let found = -1;
  for (let i = 0; i < map.nodeCount; i++) {
    if (map.isStatement(i) && map.firstLine(i) <= line && map.lastLine(i) >= line) found = i;  // later is inner
  }
  return found;
}

// The band of a source line: its first own node's statement's, or -1.
export function bandOfLine(map, line) {
  const first = firstOwn(map, line);
  if (first < 0) return -1;
  const statement = map.statement(first);
  return statement >= 0 ? map.band[statement] : -1;
}

const asciiDecoder = new TextDecoder('latin1');
export const nodeText = (map, i) => asciiDecoder.decode(map.out.subarray(map.reportBegin(i), map.reportEnd(i)));

const maxLabelBytes = 200;  // longer names are cut short in the picture; the tooltip has more
const maxTooltipBytes = 2000;
const cut = (text, limit) => (text.length > limit ? `${text.slice(0, limit)}…` : text);

// The tooltip of a node: its kind and its text.
export const nodeTooltip = (map, i) => `${kindNames[map.kind(i)] ?? 'node'}: ${cut(nodeText(map, i), maxTooltipBytes)}`;

// A label inside DOT quotes: quotes and backslashes escaped, '&' and bytes
// other than printable ASCII as numeric entities, long ones wrapped.
function dotLabel(text) {
  let label = '';
  const shown = cut(text, maxLabelBytes);
  for (let k = 0; k < shown.length; k++) {
    const code = shown.charCodeAt(k);
    if (k > 0 && k % 64 === 0) label += '\\l';
    if (code === 0x22 || code === 0x5c) label += `\\${shown[k]}`;
    else if (code === 0x26 || code < 0x20 || code >= 0x7f) label += `&#${code};`;
    else label += shown[k];
  }
  return shown.length > 64 ? `"${label}\\l"` : `"${label}"`;
}

function nodeStyle(map, i) {
  if (map.kind(i) in kindStyles) return kindStyles[map.kind(i)];
  return operatorStyle;
}

// The nodes to draw for `statement`: its subtree, and its path from the
// root. A list of statements is a chain of links, as deep as the list is
// long, so the path keeps the root, every node that is not a link and the
// two nearest the statement; each run of links left out between them is one
// item {left: count}.
export function subtreeWithPath(map, statement) {
  const ancestors = [];
  for (let p = map.parent(statement); p >= 0; p = map.parent(p)) ancestors.push(p);
  ancestors.reverse();
  const path = [];
  let left = 0;
  ancestors.forEach((node, k) => {
    const kept = k === 0 || k >= ancestors.length - 2 || map.kind(node) !== linkKind;
    if (!kept) return left++;
    if (left) path.push({ left });
    left = 0;
    path.push(node);
  });
  const nodes = [];
  for (let i = statement; i < map.subtreeEnd[statement]; i++) nodes.push(i);
  return { path, nodes };
}

// The DOT graph of `nodes` (a subtree, in prefix order) below `path` (from
// the root down to its top), named n<index> so that the picture's shapes lead
// back to the map; the links left out of the path are named e<k>. The path
// is drawn dashed.
export function dotOf(map, nodes, path = []) {
  const lines = ['digraph syntax_tree {', '  graph [ordering=out];', '  node [shape=box fontname="Helvetica"];'];
  const names = path.map((item, k) => (typeof item === 'number' ? `n${item}` : `e${k}`));
  path.forEach((item, k) => {
    if (typeof item === 'number') lines.push(`  n${item} [label=${dotLabel(nodeText(map, item))} ${nodeStyle(map, item)} style=dashed];`);
    else lines.push(`  e${k} [label="⋯ ${item.left}" class=left shape=plaintext];`);
    if (k > 0) lines.push(`  ${names[k - 1]} -> ${names[k]} [style=dashed];`);
  });
  if (path.length && nodes.length) lines.push(`  ${names[path.length - 1]} -> n${nodes[0]} [style=dashed];`);
  const drawn = new Set(nodes);
  for (const i of nodes) {
    lines.push(`  n${i} [label=${dotLabel(nodeText(map, i))} ${nodeStyle(map, i)}];`);
    const p = map.parent(i);
    if (p >= 0 && drawn.has(p)) lines.push(`  n${p} -> n${i};`);
  }
  lines.push('}', '');
  return lines.join('\n');
}

// Byte offsets of the compiled program to positions in the editor's text,
// whose characters are UTF-16 code units (see bytes.js: a raw byte is one
// character, a well-formed sequence one code point).
export function byteToCharIndex(text, byteLength) {
  if (text.length === byteLength) return null;  // ASCII: the same numbers
  const at = new Int32Array(byteLength + 1);
  let byte = 0;
  for (let k = 0; k < text.length && byte < byteLength; k++) {
    const code = text.charCodeAt(k);
    let size = 1;
    if (code >= 0xd800 && code < 0xdc00) size = 4;
    else if (code >= 0xf780 && code <= 0xf7ff) size = 1;
    else if (code >= 0x800) size = 3;
    else if (code >= 0x80) size = 2;
    for (let b = 0; b < size && byte < byteLength; b++) at[byte++] = k;
    if (size === 4) k++;
  }
  for (; byte <= byteLength; byte++) at[byte] = text.length;
  return at;
}
