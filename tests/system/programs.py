"""Large source programs for the system and stress tests, written to files in
big chunks, with the facts the tests check their reports against."""
from dataclasses import dataclass
import time

# One statement group repeated inside every innermost block: assignments,
# a declaration, if/else, while and for, so that every part of the compiler
# runs. Its code is CODE_LINES_PER_GROUP lines and it takes two label numbers
# for the if/else, two for the while and one for the for. The declaration in
# the function's head adds HEAD_CODE_LINES lines (the declarators after the
# first are loaded).
STATEMENT_GROUP = (
    b"    total = total + i * 2;\n"
    b"    int k = i % 7, m;\n"
    b"    if (total > 100 && k != 0) total = total - 100; else i = i + 1;\n"
    b"    while (i < 10) i = i + 1;\n"
    b"    for (j = 0; j < 3; j = j + 1) m = m + j;\n"
)
CODE_LINES_PER_GROUP = 58
HEAD_CODE_LINES = 2
LABELS_PER_GROUP = 5


@dataclass
class Facts:
    size: int         # bytes written
    code_lines: int   # lines of generated code expected
    labels: int       # label numbers used
    lines: int        # source lines, the closing brace's included


def write_blocks(path, outer, inner, groups):
    """int main() { { { group * groups } * inner } * outer }: the lists stay
    far below the parse stack limit while the whole program grows without one."""
    innermost = b"    {\n" + STATEMENT_GROUP * groups + b"    }\n"
    block = b"  {\n" + innermost * inner + b"  }\n"
    head = b"int main() {\n  int i, j, total;\n"
    with open(path, "wb") as f:
        f.write(head)
        for _ in range(outer):
            f.write(block)
        f.write(b"}\n")
    group_count = outer * inner * groups
    size = len(head) + outer * len(block) + 2
    lines = head.count(b"\n") + outer * block.count(b"\n") + 1
    return Facts(size, HEAD_CODE_LINES + group_count * CODE_LINES_PER_GROUP, group_count * LABELS_PER_GROUP, lines)


def blocks_for_size(target_bytes):
    """outer, inner, groups giving a program of about target_bytes."""
    groups, inner = 200, 100
    per_outer = inner * (len(STATEMENT_GROUP) * groups + 12) + 8
    return max(1, target_bytes // per_outer), inner, groups


def write_identifier(path, length):
    """int main() { aaa...a; } with one identifier of length bytes."""
    with open(path, "wb") as f:
        f.write(b"int main() { ")
        chunk = b"a" * (1 << 20)
        left = length
        while left:
            f.write(chunk[: min(left, len(chunk))])
            left -= min(left, len(chunk))
        f.write(b"; }\n")


CHAIN_OPERATORS = {
    "add": b"+a", "subtract": b"-a", "multiply": b"*a", "divide": b"/a", "remainder": b"%a",
    "or": b"||a", "and": b"&&a", "equal": b"==a", "less": b"<a",
}

# Code lines of a chain x = a OP a OP ... a, per operator and in all besides:
# each arithmetic operator after the first stores, reloads and applies its
# left operand's temporary (STORE, LOAD, [NEG,] ADD), each logic one stores
# its left side and loads its right (STORE, LOAD, L); LOAD a and STORE R1, x.
CHAIN_CODE_LINES = {"add": (3, 0), "subtract": (4, 0), "multiply": (3, 0), "divide": (3, 0), "remainder": (3, 0),
                    "or": (3, 2), "and": (3, 2), "equal": (3, 2), "less": (3, 2)}


def chain_code_lines(operator, count):
    per_operator, besides = CHAIN_CODE_LINES[operator]
    return per_operator * count + besides


def write_chain(path, operator, count):
    """int main() { x = a OP a OP ... a; } with count operators."""
    piece = CHAIN_OPERATORS[operator]
    with open(path, "wb") as f:
        f.write(b"int main() { x = a")
        per_chunk = 1 << 16
        left = count
        while left:
            n = min(left, per_chunk)
            f.write(piece * n)
            left -= n
        f.write(b"; }\n")


def run_checks(checks, *args):
    """Runs each check on args (a check returns its list of problems), prints
    the problems and the tally, and returns the exit status."""
    failures = 0
    for check in checks:
        problems = check(*args)
        for problem in problems:
            print(problem)
        failures += bool(problems)
    print(f"{len(checks) - failures} passed, {failures} failed")
    return 1 if failures else 0


def feed(stream, pieces, pause=0):
    """Writes the pieces to a child's standard input, pausing between them,
    then closes it; a child that stops reading ends the feeding quietly."""
    try:
        for piece in pieces:
            stream.write(piece)
            if pause:
                stream.flush()
                time.sleep(pause)
    except BrokenPipeError:
        pass  # r1c stopped reading; its status tells why
    finally:
        try:
            stream.close()
        except BrokenPipeError:
            pass
