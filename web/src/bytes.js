// A program is bytes; the editor holds text. Well-formed UTF-8 becomes its
// characters, and every other byte b (0x80 to 0xFF) becomes the private-use
// character U+F700 + b, so that any bytes survive the round trip exactly.
// The sequences that encode U+F780 to U+F7FF themselves are taken as three
// such bytes for the same reason.

const rawByteBase = 0xf700;
export const isRawByteChar = (code) => code >= rawByteBase + 0x80 && code <= rawByteBase + 0xff;

// Length of the well-formed UTF-8 sequence at bytes[i], or 0 when there is none.
function sequenceLength(bytes, i) {
  const b0 = bytes[i];
  const continuation = (k, low = 0x80, high = 0xbf) => i + k < bytes.length && bytes[i + k] >= low && bytes[i + k] <= high;
  if (b0 >= 0xc2 && b0 <= 0xdf) return continuation(1) ? 2 : 0;
  if (b0 >= 0xe0 && b0 <= 0xef) {
    const low = b0 === 0xe0 ? 0xa0 : 0x80;
    const high = b0 === 0xed ? 0x9f : 0xbf;  // no surrogates
    return continuation(1, low, high) && continuation(2) ? 3 : 0;
  }
  if (b0 >= 0xf0 && b0 <= 0xf4) {
    const low = b0 === 0xf0 ? 0x90 : 0x80;
    const high = b0 === 0xf4 ? 0x8f : 0xbf;
    return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
  }
  return 0;
}

function codePoint(bytes, i, length) {
  if (length === 2) return ((bytes[i] & 0x1f) << 6) | (bytes[i + 1] & 0x3f);
  if (length === 3) return ((bytes[i] & 0x0f) << 12) | ((bytes[i + 1] & 0x3f) << 6) | (bytes[i + 2] & 0x3f);
  return ((bytes[i] & 0x07) << 18) | ((bytes[i + 1] & 0x3f) << 12) | ((bytes[i + 2] & 0x3f) << 6) | (bytes[i + 3] & 0x3f);
}

const strictDecoder = new TextDecoder('utf-8', { fatal: true });
const rawByteChars = /[\uf780-\uf7ff]/;

export function bytesToText(bytes) {
  try {
    const text = strictDecoder.decode(bytes);
    if (!rawByteChars.test(text)) return text;
  } catch {
    // not UTF-8 throughout: decoded byte by byte below
  }
  const parts = [];
  let codes = [];
  const flush = () => {
    parts.push(String.fromCodePoint(...codes));
    codes = [];
  };
  for (let i = 0; i < bytes.length;) {
    if (codes.length >= 8192) flush();
    const b = bytes[i];
    if (b < 0x80) {
      codes.push(b);
      i++;
      continue;
    }
    const length = sequenceLength(bytes, i);
    const code = length ? codePoint(bytes, i, length) : 0;
    if (length && !isRawByteChar(code)) {
      codes.push(code);
      i += length;
    } else {
      codes.push(rawByteBase + b);
      i++;
    }
  }
  flush();
  return parts.join('');
}

export function textToBytes(text) {
  if (!rawByteChars.test(text)) return new TextEncoder().encode(text);
  const bytes = new Uint8Array(text.length * 3);
  let n = 0;
  for (const character of text) {
    const code = character.codePointAt(0);
    if (code < 0x80) {
      bytes[n++] = code;
    } else if (isRawByteChar(code)) {
      bytes[n++] = code - rawByteBase;
    } else if (code < 0x800) {
      bytes[n++] = 0xc0 | (code >> 6);
      bytes[n++] = 0x80 | (code & 0x3f);
    } else if (code < 0x10000) {
      bytes[n++] = 0xe0 | (code >> 12);
      bytes[n++] = 0x80 | ((code >> 6) & 0x3f);
      bytes[n++] = 0x80 | (code & 0x3f);
    } else {
      bytes[n++] = 0xf0 | (code >> 18);
      bytes[n++] = 0x80 | ((code >> 12) & 0x3f);
      bytes[n++] = 0x80 | ((code >> 6) & 0x3f);
      bytes[n++] = 0x80 | (code & 0x3f);
    }
  }
  return bytes.slice(0, n);
}

// Base64 with the URL-safe alphabet and no padding, for links.
export function bytesToBase64Url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

export function base64UrlToBytes(text) {
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}
