// The output panes as tabs, for narrow screens: the style sheet shows the
// tab list and only the chosen pane there, and every pane side by side on
// wider screens. Arrow keys move between tabs.
export function bindTabs(list) {
  const tabs = [...list.querySelectorAll('[role="tab"]')];
  const choose = (chosen) => {
    for (const tab of tabs) {
      const selected = tab === chosen;
      tab.setAttribute('aria-selected', String(selected));
      tab.tabIndex = selected ? 0 : -1;
      document.getElementById(tab.getAttribute('aria-controls')).classList.toggle('chosen', selected);
    }
  };
  for (const tab of tabs) {
    tab.addEventListener('click', () => choose(tab));
    tab.addEventListener('keydown', (event) => {
      const step = { ArrowRight: 1, ArrowLeft: -1 }[event.key];
      if (!step) return;
      const next = tabs[(tabs.indexOf(tab) + step + tabs.length) % tabs.length];
      choose(next);
      next.focus();
      event.preventDefault();
    });
  }
  choose(tabs[0]);
}
