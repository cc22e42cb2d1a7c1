// Light or dark: the system's setting, followed as it changes, unless the
// user chose one, kept in this browser. The style sheet reads
// <html data-theme="light|dark">.
import { setting } from './storage.js';

const choices = ['system', 'light', 'dark'];
const systemDark = matchMedia('(prefers-color-scheme: dark)');

function apply(choice) {
  const dark = choice === 'dark' || (choice === 'system' && systemDark.matches);
  document.documentElement.dataset.theme = dark ? 'dark' : 'light';
}

export function bindThemeMenu(menu) {
  const saved = setting('theme');
  menu.value = choices.includes(saved) ? saved : 'system';
  apply(menu.value);
  systemDark.addEventListener('change', () => apply(menu.value));
  menu.addEventListener('change', () => {
    setting('theme', menu.value);
    apply(menu.value);
  });
}
