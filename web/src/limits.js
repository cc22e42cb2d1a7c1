// Trees are drawn up to this size: Graphviz lays out one of 500 nodes in
// about half a second, in a worker; a larger one takes longer than a reader
// waits and makes a picture too dense to read.
export const maxDrawnNodes = 500;
export const maxDrawnTreeBytes = 64 * 1024;  // of the printed tree: long names make large labels

// The report pane shows this many bytes at most; the whole report can be saved.
export const maxShownOutputBytes = 1024 * 1024;

// A compile or drawing still running after this long when a newer one waits
// is abandoned, and its worker started afresh for the newer one.
export const abandonWorkAfterMs = 1000;
