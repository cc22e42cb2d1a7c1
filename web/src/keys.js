// The page's keys: Ctrl/Cmd+Enter and Ctrl/Cmd+S anywhere on the page (taken
// before the editor sees them), and '?' outside a text field for the list of
// keys in `dialog`.
const isTyping = (target) => target.closest?.('#editor, input, textarea, select') || target.isContentEditable;

export function bindKeys({ compileNow, saveReport, dialog, openButton, closeButton }) {
  window.addEventListener(
    'keydown',
    (event) => {
      const command = event.ctrlKey || event.metaKey;
      if (command && event.key === 'Enter') compileNow();
      else if (command && !event.shiftKey && !event.altKey && event.key.toLowerCase() === 's') saveReport();
      else if (event.key === '?' && !command && !isTyping(event.target) && !dialog.open) dialog.showModal();
      else return;
      event.preventDefault();
      event.stopPropagation();
    },
    true,
  );
  openButton.addEventListener('click', () => dialog.showModal());
  closeButton.addEventListener('click', () => dialog.close());
}
