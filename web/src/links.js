// Links that carry a program after '#': the bytes compressed with raw deflate
// (the browser's CompressionStream) and written in base64url, under the key
// "deflate". Links of the older form, "program=" with the bytes themselves in
// base64url, still open.
import { base64UrlToBytes, bytesToBase64Url } from './bytes.js';

// Chromium refuses addresses over 2 MB; a link is kept well under that.
export const maxLinkLength = 1536 * 1024;

const base64Url = /^[A-Za-z0-9_-]*$/;

export async function compress(bytes) {
  const response = new Response(new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw')));
  return new Uint8Array(await response.arrayBuffer());
}

// A link opens programs of up to this size: a small link can hold a program
// of a thousand times its length, which would stall the page.
export const maxLinkedProgramBytes = 64 << 20;

// The bytes `bytes` decompress to, or null past maxLinkedProgramBytes.
export async function decompress(bytes) {
  const reader = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw')).getReader();
  const chunks = [];
  let total = 0;
  for (let next = await reader.read(); !next.done; next = await reader.read()) {
    total += next.value.length;
    if (total > maxLinkedProgramBytes) {
      reader.cancel();
      return null;
    }
    chunks.push(next.value);
  }
  const out = new Uint8Array(total);
  let at = 0;
  for (const chunk of chunks) {
    out.set(chunk, at);
    at += chunk.length;
  }
  return out;
}

// The fragment, without '#', of the link to `bytes`.
export async function linkFragment(bytes) {
  return `deflate=${bytesToBase64Url(await compress(bytes))}`;
}

let linkWorker = null;
const waitingLinks = new Map();  // request id -> {resolve, reject}
let nextLinkId = 1;

// The link to `bytes` (handed over, not copied) from the page at `base`, made
// in the link worker; or {tooLarge} with the length it would have had. Fails
// when the worker does (out of memory, say); the next link starts a new one.
export function makeLink(base, bytes) {
  if (!linkWorker) {
    linkWorker = new Worker('link_worker.js');
    linkWorker.onmessage = ({ data }) => {
      waitingLinks.get(data.id).resolve(data.fragment);
      waitingLinks.delete(data.id);
    };
    linkWorker.onerror = (event) => {
      event.preventDefault();
      linkWorker.terminate();
      linkWorker = null;
      for (const waiting of waitingLinks.values()) waiting.reject(new Error(event.message));
      waitingLinks.clear();
    };
  }
  const id = nextLinkId++;
  linkWorker.postMessage({ id, program: bytes }, [bytes.buffer]);
  return new Promise((resolve, reject) => {
    const made = (fragment) => {
      const length = base.length + 1 + fragment.length;
      resolve(length > maxLinkLength ? { tooLarge: true, length } : { url: `${base}#${fragment}` });
    };
    waitingLinks.set(id, { resolve: made, reject });
  });
}

// What a fragment ('#...' or '') holds: {none} when it names no program,
// {bytes} for a program, or {error} saying why the program can't be read.
export async function readFragment(hash) {
  if (hash === '' || hash === '#') return { none: true };
  const separator = hash.indexOf('=');
  const key = separator > 0 ? hash.slice(1, separator) : hash.slice(1);
  // Standard base64, padded or not, is taken too, as a hand-made link may
  // use it, and so are characters escaped with '%'.
  let value = separator > 0 ? hash.slice(separator + 1) : '';
  try {
    value = decodeURIComponent(value);
  } catch {
    // a stray '%': left for the alphabet check to report
  }
  value = value
    .replace(/=+$/, '')
    .replace(/\+/g, '-')
    .replace(/\//g, '_');
  if (key !== 'deflate' && key !== 'program') {
    return { error: `The link holds "${key.slice(0, 40)}" where "deflate=" or "program=" should begin.` };
  }
  if (!base64Url.test(value)) {
    const bad = value.match(/[^A-Za-z0-9_-]/)[0];
    return {
      error: `The link's program holds "${bad}", which is not in the link's alphabet (A–Z, a–z, 0–9, "-" and "_"); it may have been cut or changed when copied.`,
    };
  }
  let bytes;
  try {
    bytes = base64UrlToBytes(value);
  } catch {
    return { error: 'The link\'s program is cut short: its last characters are missing.' };
  }
  if (key === 'program') return { bytes };
  try {
    const program = await decompress(bytes);
    if (program) return { bytes: program };
    return { error: `The link's program is larger than ${maxLinkedProgramBytes >> 20} MB when decompressed; the page opens none so large from a link.` };
  } catch {
    return { error: 'The link\'s program is damaged or cut short: it does not decompress.' };
  }
}
