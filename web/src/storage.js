// The user's own programs, kept in this browser's local storage: "mine", the
// program last edited, and "previous", the one it replaced when an edit began
// on another program (an example, a link, a file). Storage may be full or
// refused; then nothing is kept and the caller is told.

const keys = { mine: 'r1c.program.mine', previous: 'r1c.program.previous' };

export function loadProgram(slot) {
  try {
    return localStorage.getItem(keys[slot]);
  } catch {
    return null;
  }
}

// Keeps `text` in `slot`; returns false when the browser would not.
export function keepProgram(slot, text) {
  try {
    localStorage.setItem(keys[slot], text);
    return true;
  } catch {
    try {
      localStorage.removeItem(keys[slot]);  // never leave an older text that looks current
    } catch {
      // storage refused altogether
    }
    return false;
  }
}

// Read a setting, or store one; settings are small and a failure only loses them.
export function setting(name, value) {
  try {
    if (value === undefined) return localStorage.getItem(`r1c.${name}`);
    localStorage.setItem(`r1c.${name}`, value);
  } catch {
    // not kept
  }
  return value ?? null;
}
