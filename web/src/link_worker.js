// The link worker: compresses a program and writes it in base64url for a
// link, away from the page, so that making a large program's link never
// stalls it.
import { linkFragment } from './links.js';

self.onmessage = async ({ data }) => {
  self.postMessage({ id: data.id, fragment: await linkFragment(data.program) });
};
