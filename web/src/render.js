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
