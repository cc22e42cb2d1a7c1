// Output bytes shown as they are, inserted as text only. Printable ASCII and
// newlines appear as themselves; any other byte (a carriage return, a NUL, a
// byte above 127) appears as a marked box holding its value in hex, so that
// nothing r1c writes is hidden or changed.

const asciiDecoder = new TextDecoder('ascii');
const isPlain = (b) => (b >= 0x20 && b < 0x7f) || b === 0x0a;
const hex = (b) => b.toString(16).toUpperCase().padStart(2, '0');

// A fragment showing `bytes`: text nodes and one box per other byte.
export function bytesFragment(bytes) {
  const fragment = document.createDocumentFragment();
  let start = 0;
  for (let i = 0; i <= bytes.length; i++) {
    if (i < bytes.length && isPlain(bytes[i])) continue;
    if (i > start) fragment.append(document.createTextNode(asciiDecoder.decode(bytes.subarray(start, i))));
    if (i < bytes.length) {
      const box = document.createElement('span');
      box.className = 'byte';
      box.dataset.byte = String(bytes[i]);
      box.title = `byte 0x${hex(bytes[i])}`;
      box.textContent = hex(bytes[i]);
      fragment.append(box);
    }
    start = i + 1;
  }
  return fragment;
}

// Output is shown in blocks of this many lines. A block off screen is not
// laid out (content-visibility), so a report of any length is shown at once.
const linesPerBlock = 64;

// The block of lines starting at bytes[start], with the part before
// `echoedEnd` marked as echoed; returns the element and where the next starts.
function outputBlock(bytes, start, echoedEnd) {
  let end = start;
  let lines = 0;
  while (end < bytes.length && lines < linesPerBlock) {
    const newline = bytes.indexOf(0x0a, end);
    end = newline < 0 ? bytes.length : newline + 1;
    lines++;
  }
  const block = document.createElement('div');
  block.className = 'lines';
  block.style.setProperty('--lines', String(lines));
  const echoedStop = Math.min(Math.max(echoedEnd, start), end);
  if (echoedStop > start) {
    const echoed = document.createElement('span');
    echoed.className = 'echoed';
    echoed.title = 'bytes of the program that belong to no token, copied out as they were read';
    echoed.append(bytesFragment(bytes.subarray(start, echoedStop)));
    block.append(echoed);
  }
  block.append(bytesFragment(bytes.subarray(echoedStop, end)));
  return { block, next: end };
}

// Replaces the children of `element` with `bytes`; the first `echoedLength`
// bytes (echoed from the program before the report) are marked as such.
export function showOutput(element, bytes, echoedLength) {
  const blocks = document.createDocumentFragment();
  for (let start = 0; start < bytes.length;) {
    const { block, next } = outputBlock(bytes, start, echoedLength);
    blocks.append(block);
    start = next;
  }
  element.replaceChildren(blocks);
}

// Where `pattern` (ASCII) first occurs in `bytes` from `from` on, or -1.
export function indexOfAscii(bytes, pattern, from = 0) {
  const first = pattern.charCodeAt(0);
  for (let i = bytes.indexOf(first, from); i >= 0 && i + pattern.length <= bytes.length; i = bytes.indexOf(first, i + 1)) {
    let k = 1;
    while (k < pattern.length && bytes[i + k] === pattern.charCodeAt(k)) k++;
    if (k === pattern.length) return i;
  }
  return -1;
}

// Replaces the children of `element` with out[from, to), the code section,
// in blocks of lines as showOutput does. A block is first shown as plain
// text; once it comes near the view, or one of its lines is asked for, each
// line of code the map names gets an element of its own, striped with its
// statement's band, that the page can light up. Returns line(j), the element
// of code line j (undefined past `to`).
export function showCodeLines(element, out, from, to, map) {
  const plain = out.subarray(from, to).every(isPlain) ? asciiDecoder.decode(out.subarray(from, to)) : null;
  const textOf = (begin, end) => (plain !== null ? document.createTextNode(plain.slice(begin - from, end - from)) : bytesFragment(out.subarray(begin, end)));
  let shown = 0;  // the code lines wholly before `to`
  while (shown < map.codeCount && map.codeEnd(shown) < to) shown++;
  const lines = new Array(shown);
  const blocks = [];
  const fragment = document.createDocumentFragment();
  for (let first = 0, begin = from; begin < to || first === 0; first += linesPerBlock) {
    const last = Math.min(first + linesPerBlock, shown);  // excluded
    const end = last >= shown ? to : map.codeEnd(last - 1) + 1;
    const block = document.createElement('div');
    block.className = 'lines';
    block.style.setProperty('--lines', String(Math.max(last - first, 1)));
    block.append(textOf(begin, end));
    blocks.push({ element: block, first, last, begin, end, split: false });
    block.dataset.block = String(blocks.length - 1);
    fragment.append(block);
    begin = end;
    if (last >= shown) break;
  }
  const split = (b) => {
    if (b.split) return;
    b.split = true;
    const parts = document.createDocumentFragment();
    let at = b.begin;
    for (let j = b.first; j < b.last; j++) {
      if (map.codeBegin(j) > at) parts.append(textOf(at, map.codeBegin(j)));
      const line = document.createElement('div');
      const statement = map.codeStatement(j);
      line.className = statement >= 0 && map.band[statement] >= 0 ? `code-line band-${map.band[statement]}` : 'code-line';
      line.dataset.line = String(j);
      line.append(textOf(map.codeBegin(j), map.codeEnd(j) + 1));  // its newline too
      parts.append(line);
      lines[j] = line;
      at = map.codeEnd(j) + 1;
    }
    if (b.end > at) parts.append(textOf(at, b.end));
    b.element.replaceChildren(parts);
  };
  const near = new IntersectionObserver(
    (entries) => {
      for (const entry of entries) {
        if (!entry.isIntersecting) continue;
        split(blocks[Number(entry.target.dataset.block)]);
        near.unobserve(entry.target);
      }
    },
    { root: element, rootMargin: '400px 0px' },
  );
  for (const b of blocks) near.observe(b.element);
  element.replaceChildren(fragment);
  return {
    line(j) {
      if (j >= shown) return undefined;
      split(blocks[Math.floor(j / linesPerBlock)]);
      return lines[j];
    },
    stop: () => near.disconnect(),
  };
}
