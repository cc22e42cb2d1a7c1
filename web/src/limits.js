// Trees are drawn up to this size: Graphviz lays out one of 500 nodes in
// about half a second, in a worker; a larger one takes longer than a reader
// waits and makes a picture too dense to read.
export const maxDrawnNodes = 500;

// A tree of up to this many nodes is drawn whole; a larger one is drawn as
// the statement at the cursor, with its path to the root.
export const maxWholeTreeNodes = 150;

// Programs up to this size (some 4,000 lines) are compiled with the map that
// links the panes, which takes about ten times as long as the compile alone;
// larger ones are compiled alone, and their panes are not linked.
export const maxMappedProgramBytes = 256 * 1024;

export const maxDrawnTreeBytes = 64 * 1024;  // of the printed tree: long names make large labels

// The report pane shows this many bytes at most; the whole report can be saved.
export const maxShownOutputBytes = 1024 * 1024;

// A compile or drawing still running after this long when a newer one waits
// is abandoned, and its worker started afresh for the newer one.
export const abandonWorkAfterMs = 1000;
