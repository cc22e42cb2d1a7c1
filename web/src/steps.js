// The Steps pane: the parse of the last compiled program walked forward and
// back, by its buttons or the arrow keys, Home and End. Each position shows the
// step's action (the rule reduced, say), the stack drawn as boxes, the
// partial tree of one of its entries, and marks the lookahead token and the
// reduced bytes in the editor. The compile worker makes the steps; the pane
// fetches them in blocks and keeps what it fetched, so that stepping back on
// a large program asks the worker for nothing it gave before.
// Nothing here touches the page until createSteps is called, so that the
// compile worker can share the record sizes.

export const stepRecordSize = 11;  // integers per step, as playground_steps gives them
export const stackRecordSize = 4;  // integers per stack entry
export const maxShownTreeBytes = 16 * 1024;  // of a partial tree: the start of a larger one is shown

const blockSize = 256;  // steps fetched at a time
const keptViews = 4096;  // stacks and trees kept, the oldest dropped first
const shownEntries = 48;  // the stack's top entries drawn; the rest are counted
const terminalCount = 25;  // symbols 0 to 24; the nonterminals follow, 53 symbols in all
const symbolCount = 53;  // playground_names: the symbols, then the rules
const kindNames = ['shift', 'reduce', 'accept', 'error', 'overflow', 'failure'];

// A step's record: `records` holds a block's integers, `i` the step's index in it.
export function stepRecord(records, i) {
  const r = records.subarray(i * stepRecordSize, (i + 1) * stepRecordSize);
  return {
    kind: kindNames[r[0]],
    state: r[1],
    rule: r[2],
    byDefault: r[3] === 1,
    lookahead: r[4],
    token: r[4] >= 0 ? [r[5], r[6]] : null,
    line: r[7],
    stackSize: r[8],
    reduced: r[9] >= 0 ? [r[9], r[10]] : null,
  };
}

// pane: its elements by role; post(message) asks the compile worker;
// showMarks(token, reduced) marks byte spans of the compiled program in the
// editor (null for none); textOf(begin, end) gives its bytes as text.
export function createSteps({ elements, post, showMarks, textOf }) {
  const state = {
    compileId: 0,
    names: [],
    taken: 0,  // the position shown: steps taken
    total: -1,  // the number of steps, once known
    blocks: new Map(),  // block index -> {records, lines}
    asked: new Set(),  // blocks asked for
    askedLast: false,
    views: new Map(),  // `${taken}:${entry asked, -1 for the topmost with a tree}` -> {stack, entry, tree, treeBytes}
    viewAsked: null,  // the view in the worker
    viewWanted: null,  // the view to ask for next
    chosen: -1,  // the stack entry whose tree the user chose; -1 the topmost with one
  };

  const blockOf = (step) => Math.floor(step / blockSize);
  const record = (step) => {
    const block = state.blocks.get(blockOf(step));
    return block && step - blockOf(step) * blockSize < block.records.length / stepRecordSize ? stepRecord(block.records, step % blockSize) : null;
  };
  const line = (step) => state.blocks.get(blockOf(step))?.lines[step % blockSize] ?? '';

  function askBlock(block) {
    if (state.asked.has(block) || state.blocks.has(block) || !state.compileId) return;
    state.asked.add(block);
    post({ type: 'steps', compileId: state.compileId, first: block * blockSize, count: blockSize });
  }

  const viewKey = (taken, entry) => `${taken}:${entry}`;
  function askView(taken, entry) {
    const key = viewKey(taken, entry);
    if (state.views.has(key) || !state.compileId) return;
    const wanted = { type: 'view', compileId: state.compileId, taken, entry };
    if (state.viewAsked) {
      state.viewWanted = wanted;  // only the newest waits; a held key asks for no backlog
      return;
    }
    state.viewAsked = wanted;
    post(wanted);
  }

  // Moves to `taken` steps (clamped to the parse once its length is known).
  function go(taken) {
    if (!state.compileId) return;
    taken = Math.max(0, taken);
    if (state.total >= 0) taken = Math.min(taken, state.total);
    if (taken !== state.taken) state.chosen = -1;
    state.taken = taken;
    if (taken > 0) askBlock(blockOf(taken - 1));
    if (taken > 0 && taken % blockSize > blockSize - 16) askBlock(blockOf(taken));  // the next block, before it is needed
    askView(taken, state.chosen);
    render();
  }

  function goLast() {
    if (state.total >= 0) return go(state.total);
    if (state.askedLast || !state.compileId) return;
    state.askedLast = true;
    post({ type: 'steps', compileId: state.compileId, last: true, count: blockSize });
    render();
  }

  function received(data) {
    if (data.type === 'names') {
      state.names = data.names;
      return render();
    }
    if (data.compileId !== state.compileId) return;
    if (data.type === 'steps') {
      const block = blockOf(data.first);
      state.asked.delete(block);
      state.blocks.set(block, { records: data.records, lines: data.lines });
      if (data.total >= 0 || data.ended) state.total = data.total >= 0 ? data.total : data.first + data.count;
      elements.pane.dataset.fetchMs = data.fetchMs.toFixed(1);
      if (data.total >= 0 && state.askedLast) {
        state.askedLast = false;
        return go(state.total);
      }
      if (state.total >= 0 && state.taken > state.total) return go(state.total);
      return render();
    }
    if (data.type === 'view') {
      for (const view of data.views) state.views.set(viewKey(view.taken, view.asked), view);
      while (state.views.size > keptViews) state.views.delete(state.views.keys().next().value);
      elements.pane.dataset.viewMs = data.fetchMs.toFixed(1);
      state.viewAsked = null;
      const next = state.viewWanted;
      state.viewWanted = null;
      if (next) askView(next.taken, next.entry);
      render();
    }
  }

  // A new compile: the steps start again, at the same position when it exists.
  function reset(compileId) {
    Object.assign(state, { compileId, total: -1, blocks: new Map(), asked: new Set(), askedLast: false, views: new Map(), viewAsked: null, viewWanted: null, chosen: -1 });
    if (state.taken > 0) go(state.taken);
    else render();
  }

  // After a worker's restart, what it was asked is lost.
  function workerRestarted() {
    state.asked.clear();
    state.askedLast = false;
    state.viewAsked = null;
    state.viewWanted = null;
    state.compileId = 0;
    render();
  }

  const symbolName = (symbol) => state.names[symbol] ?? String(symbol);
  const ruleText = (rule) => state.names[symbolCount + rule] ?? `rule ${rule}`;

  function render() {
    const { taken, total } = state;
    const step = taken > 0 ? record(taken - 1) : null;
    const counted = total >= 0 ? `${taken} of ${total}` : `${taken}`;
    elements.position.textContent = `step ${counted}`;
    elements.pane.dataset.taken = String(taken);
    elements.pane.dataset.compileId = String(state.compileId);
    elements.pane.dataset.pending = state.askedLast || state.asked.size > 0 || state.viewAsked ? 'yes' : 'no';
    elements.pane.dataset.total = String(total);
    elements.pane.dataset.kind = step ? step.kind : taken === 0 ? 'start' : '';
    elements.back.disabled = elements.first.disabled = taken === 0 || !state.compileId;
    elements.forward.disabled = elements.last.disabled = (total >= 0 && taken >= total) || !state.compileId;
    if (!state.compileId) {
      elements.action.textContent = 'The parse is shown once the program has compiled.';
    } else if (taken === 0) {
      elements.action.textContent = 'Before the first step: the stack holds the start state 0. → steps forward.';
    } else if (step) {
      const [, lookahead = '', ...action] = line(taken - 1).split(' | ');
      elements.action.textContent = `${action.join(' | ')} — ${lookahead}`;
    } else {
      elements.action.textContent = 'fetching…';
    }
    showMarks(step?.token ?? null, step?.reduced ?? null);
    const view = state.views.get(viewKey(taken, state.chosen)) ?? state.views.get(viewKey(taken, -1));
    renderView(view ?? (taken === 0 ? startView : null), step);
  }

  // Before the first step the stack holds the start entry alone.
  const startView = { taken: 0, stack: Int32Array.of(0, terminalCount, 0, 0), entry: -1, tree: '', treeBytes: 0 };

  function renderView(view, step) {
    if (!view) return;  // the one shown stays until the new one comes
    const size = view.stack.length / stackRecordSize;
    const items = [];
    const from = Math.max(0, size - shownEntries);
    if (from > 0) {
      const more = document.createElement('li');
      more.className = 'more';
      more.textContent = `${from.toLocaleString('en')} more below`;
      items.push(more);
    }
    for (let i = from; i < size; i++) {
      const [stateNumber, symbol, begin, end] = view.stack.subarray(i * stackRecordSize, (i + 1) * stackRecordSize);
      const item = document.createElement('li');
      item.dataset.entry = String(i);
      item.className = i === 0 ? 'start' : symbol < terminalCount ? 'terminal' : 'nonterminal';
      if (i === size - 1) item.classList.add('top');
      if (i === view.entry) item.classList.add('chosen');
      if (i === size - 1 && step?.kind === 'reduce') item.classList.add('reduced');
      const name = document.createElement('span');
      name.className = 'symbol';
      name.textContent = i === 0 ? 'start' : symbolName(symbol);
      const number = document.createElement('span');
      number.className = 'state';
      number.textContent = String(stateNumber);
      const text = i > 0 && end > begin ? textOf(begin, Math.min(end, begin + 60)) : '';
      item.append(name);
      if (symbol < terminalCount && i > 0 && text !== name.textContent.toLowerCase()) {
        const shown = document.createElement('span');
        shown.className = 'text';
        shown.textContent = text.length > 12 ? `${text.slice(0, 11)}…` : text;
        item.append(shown);
      }
      item.append(number);
      item.title = `${name.textContent}, state ${stateNumber}${text ? `: ${text}${end - begin > 60 ? '…' : ''}` : ''}`;
      items.push(item);
    }
    elements.stack.replaceChildren(...items);
    elements.stack.dataset.size = String(size);
    elements.stack.setAttribute('aria-label', `The stack, ${size} entries, bottom first`);
    if (view.entry > 0) {
      const symbol = view.stack[view.entry * stackRecordSize + 1];
      const cut = view.treeBytes > view.tree.length ? `, its first ${maxShownTreeBytes / 1024} KB of ${view.treeBytes.toLocaleString('en')} bytes` : '';
      elements.treeTitle.textContent = `Tree of ${symbolName(symbol)}, stack entry ${view.entry}${cut}`;
      elements.tree.textContent = view.tree;
    } else {
      elements.treeTitle.textContent = 'Tree built so far';
      elements.tree.textContent = 'none yet: no entry on the stack holds a tree';
    }
    elements.stack.lastElementChild?.scrollIntoView?.({ block: 'nearest', inline: 'nearest' });
    if (step?.kind === 'reduce') elements.rule.textContent = `rule ${step.rule}: ${ruleText(step.rule)}`;
    else elements.rule.textContent = '';
    elements.pane.dataset.shownTaken = String(view.taken);
  }

  const keys = { ArrowRight: () => go(state.taken + 1), ArrowLeft: () => go(state.taken - 1), Home: () => go(0), End: goLast };
  elements.pane.addEventListener('keydown', (event) => {
    const action = !event.ctrlKey && !event.metaKey && !event.altKey && keys[event.key];
    if (!action || event.target.closest('select, input')) return;
    action();
    event.preventDefault();
  });
  elements.first.addEventListener('click', () => go(0));
  elements.back.addEventListener('click', () => go(state.taken - 1));
  elements.forward.addEventListener('click', () => go(state.taken + 1));
  elements.last.addEventListener('click', goLast);
  elements.stack.addEventListener('click', (event) => {
    const item = event.target.closest('li[data-entry]');
    if (!item) return;
    state.chosen = Number(item.dataset.entry);
    askView(state.taken, state.chosen);
    render();
  });

  render();
  return { received, reset, workerRestarted, go };
}
