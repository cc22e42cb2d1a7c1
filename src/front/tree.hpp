// The syntax tree: one record type, its kinds, and the builders the grammar
// actions call.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/arena.hpp"
#include "common/output.hpp"
#include "front/tokens.hpp"

enum NodeKind : int16_t {
  NODE_ID = 0,
  NODE_SEQ = 2,
  NODE_LOGIC = 3,
  NODE_ARITH = 4,
  NODE_ASSIGN = 5,
  NODE_TYPE = 6,
  NODE_CONTROL = 7,
  NODE_NUM = 272,  // the token code of NUM
};

// Nodes and texts are refs into the tree's memory, 0 for none. The tree is
// most of a compile's memory, so a node takes only what its kind uses. A
// NODE_NUM leaf is its kind, then its value's text as the code writes it:
// '#' and the digits (see new_int_node). A NODE_ID leaf is the block
// the scanner made for the identifier's copy: its kind, then the text (see
// "An identifier's leaf is the scanner's copy" below). Any other node has a
// kind, a fixed text and two children, in one of two forms:
// - 8 bytes, without rchild, when its right child starts at most
//   right_back_reach units before it in the same chunk. The right child is
//   mostly built just before its parent (the right operand just before the
//   operator, the rest of a list just before the link), so most nodes take
//   this form: a chain x = a+a+...+a costs 12 bytes an operator with its name.
// - 12 bytes, with rchild, otherwise; right_back is then 0.
// Readers find the right child with right_ref or right_node, never rchild
// itself. Nothing reads a leaf's children: isLeaf tells leaves by their kind.
using NodeRef = TreeRef;

struct Node {
  int16_t kind;
  uint8_t right_back;  // the 8-byte form: its right child starts this many units before it
  uint8_t fixed_text;  // the FixedText of a node that is not a leaf, with else_mark on an IF built with an else
  NodeRef lchild;      // not a leaf
  NodeRef rchild;      // the 12-byte form only; a leaf ends before it
};
static_assert(sizeof(Node) == 12);
static_assert(sizeof(Node::kind) == identifier_text_offset, "a name's text follows the leaf's kind");
constexpr size_t near_node_bytes = offsetof(Node, rchild);
constexpr uint32_t right_back_reach = 255;  // units: what right_back holds

// An IF built with an else has TEXT_IF | else_mark for its fixed text: it
// prints as IF, and its code splits its right part. The mark is a bit no
// FixedText uses, so tables indexed by the whole byte tell the two apart
// without masking it off.
constexpr uint8_t else_mark = 0x80;
static_assert(FIXED_TEXT_COUNT <= else_mark);
inline bool has_else(const Node *node) { return node->fixed_text & else_mark; }

// NODE_ID or NODE_NUM, in one test: every other kind has a bit that NODE_NUM
// has not.
constexpr bool is_leaf_kind(int kind) { return (kind & ~int(NODE_NUM)) == 0; }
static_assert([] {
  for (int kind : {NODE_SEQ, NODE_LOGIC, NODE_ARITH, NODE_ASSIGN, NODE_TYPE, NODE_CONTROL})
    if (is_leaf_kind(kind)) return false;
  return is_leaf_kind(NODE_ID) && is_leaf_kind(NODE_NUM);
}());

inline Node *node_at(NodeRef ref) { return reinterpret_cast<Node *>(tree_memory(ref)); }
inline const Node *child(NodeRef ref) { return ref ? node_at(ref) : nullptr; }

// A node's right child, 0 or null for none. ref is the node's own.
inline NodeRef right_ref(NodeRef ref, const Node *node) {
  return node->right_back ? ref - node->right_back : node->rchild;
}
inline const Node *right_node(const Node *node) {
  if (!node->right_back) return child(node->rchild);
  return reinterpret_cast<const Node *>(reinterpret_cast<const char *>(node) - size_t(node->right_back) * tree_unit);
}

// How many bytes of a leaf's text the tree leaves out: a number's '#', which
// only the code writes. Set without a branch, as walks meet leaves of both
// kinds in no order a branch could learn.
inline size_t tree_text_skip(int kind) { return size_t(kind == NODE_NUM); }

// A leaf's text as the code writes it: a name, or '#' and a number's digits.
inline const char *leaf_text(const Node *leaf) { return reinterpret_cast<const char *>(leaf) + identifier_text_offset; }

// A node's text as the tree prints it.
inline const char *node_text(const Node *node) {
  if (is_leaf_kind(node->kind)) return leaf_text(node) + tree_text_skip(node->kind);
  return fixed_texts[node->fixed_text & ~else_mark];
}

// A leaf's name from text on, at a cursor with room for name_group +
// room_after bytes: copied a word at a time, the word's NUL found within it,
// while the word lies in one page. The bytes read past the NUL are then in
// memory that can be read: the tree's chunks are mapped in whole pages, or
// (from malloc) have a word to spare at their end. A word's NUL is found
// without a branch per byte, which a name's length would make hard to predict.
constexpr uintptr_t smallest_page = 4096;  // bytes
constexpr uint64_t each_byte = 0x0101010101010101;

// Whether a word can be read at text without crossing into the next page.
inline bool word_in_page(const char *text) {
  return (reinterpret_cast<uintptr_t>(text) & (smallest_page - 1)) <= smallest_page - sizeof(uint64_t);
}

// Copies the word at text to at; true with at moved to the first NUL's place
// when the word has one.
inline bool copy_name_word(char *&at, const char *text) {
  uint64_t word;
  std::memcpy(&word, text, sizeof word);
  std::memcpy(at, &word, sizeof word);
  // The lowest byte flagged is the first NUL: a false flag needs a NUL below it.
  uint64_t nuls = (word - each_byte) & ~word & (each_byte << 7);
  if (!nuls) return false;
  at += std::countr_zero(nuls) / 8;
  return true;
}

[[gnu::noinline]] inline char *write_name_words(char *at, const char *text, size_t room_after) {
  if constexpr (std::endian::native == std::endian::little) {
    static_assert(name_group == sizeof(uint64_t));
    while (word_in_page(text)) {
      if (copy_name_word(at, text)) return at;
      at = make_room(at + name_group, name_group + room_after);
      text += name_group;
    }
  }
  return write_name(at, text, room_after);
}

// Copies a leaf's text from its byte skip on (0 or 1, see tree_text_skip) to
// at, moving at past it, when what is copied is under 6 - skip bytes: one word
// read from the leaf's start holds the kind and the text's first six bytes,
// and the text's length costs no branch. Read there, the
// word never reaches the link of a node after the leaf, which a walk may just
// have rewritten: a read that overlaps a write still under way waits for it
// to land, and one-letter names are the most common of all. (Longer names are
// read from their text, which may meet such a link; they are rarer.)
inline bool copy_short_name(char *&at, const Node *leaf, size_t skip) {
  uint64_t head;
  std::memcpy(&head, leaf, sizeof head);
  size_t offset = identifier_text_offset + skip;
  uint64_t text = head >> (8 * offset);
  std::memcpy(at, &text, sizeof text);
  uint64_t nuls = (text - each_byte) & ~text & (each_byte << 7);
  size_t length = size_t(std::countr_zero(nuls)) / 8;  // the shift brought in zeros: at most 8 - offset
  if (length == sizeof head - offset) return false;    // the NUL may lie further on
  at += length;
  return true;
}

// A leaf's text from its byte skip on, as write_name writes it: at has room
// for name_group + room_after bytes. Most names and numbers are short.
[[gnu::always_inline]] inline char *write_leaf_name(char *at, const Node *leaf, size_t room_after, size_t skip = 0) {
  const char *text = leaf_text(leaf) + skip;
  if (std::endian::native != std::endian::little || !word_in_page(reinterpret_cast<const char *>(leaf)))
    return write_name(at, text, room_after);
  if (copy_short_name(at, leaf, skip)) return at;
  return write_name_words(at, text, room_after);
}

// The builders are inline: the parser calls one or two per reduction. Each
// returns the ref of the node it made. text is a FixedText for every kind but
// NODE_ID and NODE_NUM.
// The 8-byte form when the right child lies near enough before the place the
// block would take in the current chunk, the 12-byte form otherwise.
inline NodeRef make_node(int kind, TreeRef text, NodeRef lchild, NodeRef rchild, bool has_else = false) {
  uint32_t back = arena.ref - rchild;  // units; 0 - rchild wraps far beyond the reach
  bool near = back - 1 < right_back_reach && back <= (arena.ref & chunk_offset_mask) &&
              size_t(arena.end - arena.next) >= near_node_bytes;
  TreeBlock block;
  if (near) {  // the room is checked: arena_alloc(near_node_bytes) without its check
    block = {arena.next, arena.ref};
    arena.next += near_node_bytes;
    arena.ref += TreeRef(near_node_bytes / tree_unit);
  } else {
    block = arena_alloc(sizeof(Node));
  }
  Node *node = reinterpret_cast<Node *>(block.at);
  node->kind = int16_t(kind);
  node->right_back = near ? uint8_t(back) : 0;
  node->fixed_text = uint8_t(text | (has_else ? else_mark : 0));
  node->lchild = lchild;
  if (!near) node->rchild = rchild;
  return block.ref;
}

// An identifier's leaf is the scanner's copy, the whole story:
// - The scanner copies each identifier's text into the tree's memory, in a
//   block that starts with identifier_text_offset bytes of room and then holds
//   the text and its NUL (word_token in scanner.cpp, through arena_copy_text or
//   arena_copy_short_text). yylval.text is the block's ref.
// - The parser carries that ref on its stack like any token value. The rules
//   that take a name (the function's, an assignment's target, a declarator
//   without a value, an operand) call new_node(text, NODE_ID), which writes
//   NODE_ID into the room and returns the same ref: the block is now the leaf.
//   No second copy is made and no node is allocated; a name costs its copy.
// - Readers find the text right after the kind (node_text). A leaf is told by
//   its kind alone (isLeaf), so nothing reads the children a leaf does not have.
// - Each name token becomes exactly one leaf, so no two nodes share a block; the
//   compiles that record positions key a name's span by the same ref.
// Other texts are fixed keyword and operator texts (FixedText), kept by number.
inline NodeRef new_node(TreeRef text, int kind) {
  if (kind != NODE_ID) return make_node(kind, text, 0, 0);
  node_at(text)->kind = NODE_ID;
  return text;
}

// A number's leaf holds its text, made once here, so that neither walk formats
// the number and both copy it as they copy a name. write_number writes up to
// eight bytes past the digits: with room in the chunk they land in its free
// space, as arena_copy_short_text's do.
constexpr size_t number_leaf_room = identifier_text_offset + 1 + longest_number + 8;
inline NodeRef new_int_node(int32_t value) {
  char spare[number_leaf_room];
  char *at = size_t(arena.end - arena.next) >= number_leaf_room ? arena.next : spare;
  char *end = write_number(at + identifier_text_offset + 1, value);
  *end = '\0';
  TreeBlock block = arena_alloc(size_t(end + 1 - at));
  if (at == spare) std::memcpy(block.at, spare, size_t(end + 1 - at));
  Node *node = reinterpret_cast<Node *>(block.at);
  node->kind = NODE_NUM;
  block.at[identifier_text_offset] = '#';
  return block.ref;
}

inline NodeRef new_dummy_node() { return make_node(NODE_SEQ, TEXT_SEQUENCE, 0, 0); }

// node is not a leaf, made without a right child: in the 12-byte form.
inline NodeRef join_child_node(NodeRef node, NodeRef lchild, NodeRef rchild) {
  Node *joined = node_at(node);
  joined->lchild = lchild;
  joined->rchild = rchild;
  return node;
}

// Whether a node of a kind that is not a leaf's has no children: it prints as
// a leaf, and has no code of its own.
// The first test is false for nearly every node, which keeps it predictable.
inline bool childless(const Node *node) { return (node->right_back | node->lchild) == 0 && !node->rchild; }

inline int isLeaf(const Node *node) { return is_leaf_kind(node->kind) || childless(node); }

// Asks for the memory some way past a node to be loaded. The nodes of a
// statement lie together, statements follow one another in memory in source
// order, and a walk of a large tree reaches them in that order: asking ahead
// keeps the walk from waiting for memory at each statement.
constexpr size_t walk_prefetch_distance = 4096;  // bytes: about a statement or two ahead
inline void prefetch_ahead_of(const Node *node) {
  __builtin_prefetch(reinterpret_cast<const char *>(node) + walk_prefetch_distance);
}
