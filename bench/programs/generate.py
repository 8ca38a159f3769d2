#!/usr/bin/env python3
"""Writes the benchmark programs, all of our own: Fractal.b, Tickets.b, Nested.b, Dispatch.b
(with Dispatch.in), Cells.b (with Cells.in) and Translate.b (with Translate.in, a copy of
Translate.b).

    bench/programs/generate.py [FOLDER]     # default: the folder of this script

The programs are plain Brainfuck for 8-bit wrapping cells; their comments hold none of the
eight command characters, so they run the same with comment markers on or off and on any
interpreter. Their expected outputs (NAME.out) are made by running them: see NOTICES.md.
"""

import os
import sys

COMMANDS = set("+-<>.,[]")


def prose(text):
    """A comment block: checked to hold no command character."""
    bad = sorted(set(text) & COMMANDS)
    if bad:
        raise ValueError(f"comment holds commands {bad}: {text!r}")
    return text.strip("\n") + "\n"


class Layout:
    """Code over cells at fixed places: tracks the pointer and moves it where asked."""

    def __init__(self):
        self.parts = []
        self.at = 0

    def go(self, cell):
        d = cell - self.at
        self.parts.append(">" * d if d > 0 else "<" * -d)
        self.at = cell

    def add(self, cell, n):
        self.go(cell)
        self.parts.append("+" * n if n > 0 else "-" * -n)

    def clear(self, cell):
        self.go(cell)
        self.parts.append("[-]")

    def put(self, cell):
        self.go(cell)
        self.parts.append(".")

    def loop(self, cell, body):
        self.go(cell)
        self.parts.append("[")
        body()
        self.go(cell)
        self.parts.append("]")

    def move(self, src, targets):
        """src is added to each (cell, factor) of targets and cleared."""
        def body():
            self.add(src, -1)
            for cell, factor in targets:
                self.add(cell, factor)
        self.loop(src, body)

    def copy(self, src, targets, tmp):
        """src is added to each (cell, factor) of targets and kept; tmp must hold 0."""
        self.move(src, list(targets) + [(tmp, 1)])
        self.move(tmp, [(src, 1)])

    def text(self, cell, s):
        """Prints s through cell, which holds 0 before and after."""
        value = 0
        for ch in s.encode():
            self.add(cell, (ch - value + 128) % 256 - 128)
            self.put(cell)
            value = ch
        self.clear(cell)

    def note(self, text):
        self.parts.append("\n" + prose(text))

    def code(self, width=72):
        """The commands in lines of width, the notes on lines of their own."""
        lines = []
        for part in self.parts:
            if part.startswith("\n"):
                lines.append(part)
                continue
            if not part:
                continue
            if not lines or lines[-1].endswith("\n"):
                lines.append("")
            lines[-1] += part
        out = []
        for chunk in lines:
            if chunk.endswith("\n"):
                out.append(chunk.lstrip("\n"))
                continue
            for i in range(0, len(chunk), width):
                out.append(chunk[i:i + width] + "\n")
        return "".join(out)


# ---- Tickets.b: long runs of moves inside copy loops, clears and carries ----

def decimal_increment(m, digits, i, on_carry):
    """Adds 1 to the decimal number whose digit i (0 the lowest) is at digits[i] (with two free
    cells after it). on_carry(i) is called where digit i has just wrapped from 9 to 0."""
    d, t, f = digits[i], digits[i] + 1, digits[i] + 2
    m.add(d, 1)
    m.copy(d, [(t, 1)], f)
    m.add(t, -10)
    m.add(f, 1)
    m.loop(t, lambda: (m.clear(t), m.add(f, -1)))

    def carry():
        m.add(f, -1)
        m.clear(d)
        on_carry(i)
        if i + 1 < len(digits):
            decimal_increment(m, digits, i + 1, on_carry)
    m.loop(f, carry)


def tickets():
    m = Layout()
    run = 0
    ticket = [4 + 12 * i for i in range(6)]      # digit, then two work cells; 12 cells apart
    count = [80 + 12 * j for j in range(5)]
    diff, zero, out = 150, 151, 152
    m.note("""
Tickets: counts the six digit tickets from 000000 to 999999 whose first three digits add up
to the sum of their last three (there are 55252 of them); after every ten thousand tickets
it prints the count so far on a line of its own

Written for the Cellwright benchmarks by bench/programs/generate:py
The digits of the ticket and of the count lie twelve cells apart and the work cells 60 to
150 cells away from them; so nearly every loop is a copy loop whose passes move the pointer
a long way and back: long runs of moves inside loops; clear loops and decimal carries; the
code a compiler to Brainfuck writes
8 bit cells; no input
""")
    m.add(run, 1)

    def print_count(i):
        if i != 3:
            return
        for j in reversed(range(5)):
            m.copy(count[j], [(out, 1)], count[j] + 1)
            m.add(out, 48)
            m.put(out)
            m.clear(out)
        m.add(out, 10)
        m.put(out)
        m.clear(out)

    def on_ticket_carry(i):
        print_count(i)
        if i == 5:
            m.add(run, -1)

    def body():
        for i in range(6):
            m.copy(ticket[i], [(diff, 1 if i >= 3 else -1)], ticket[i] + 1)
        m.add(zero, 1)
        m.loop(diff, lambda: (m.clear(diff), m.add(zero, -1)))
        m.loop(zero, lambda: (m.add(zero, -1), decimal_increment(m, count, 0, lambda i: None)))
        decimal_increment(m, ticket, 0, on_ticket_carry)

    m.loop(run, body)
    return m.code()


# ---- Dispatch.b: an interpreter's fetch, decode and execute loop ----

DISPATCH_NOTE = """
Dispatch: an interpreter for a small machine language read from the input; its fetch and
decode loop is the workload; each letter of the input is one instruction:

    a   adds 1 to register A          b   takes 1 from register A
    c   adds 1 to register B          d   takes 1 from register B
    e   prints register B             f   prints a line feed

and every other byte does nothing (it is still fetched and decoded)
The program runs from its first instruction to its last and starts again from the first
while register A is not 0; registers start at 0 and wrap at 256; Dispatch:in begins with b
so it runs 256 times

Written for the Cellwright benchmarks by bench/programs/generate:py
Tape: a run flag in cell 0; A and B and the line feed in cells 1 to 3; two work cells; a
cell that is always 0 in cell 8 before instruction 0; instruction k in the four cells from
12 plus 4k: a mark (1 once executed in this pass); the instruction byte less 96; two work
cells
The fetch scans over the marks to the first instruction not yet executed; the decode is a
chain of nested decrements; each instruction scans back to the registers and forth again
8 bit cells; the input must hold no byte 0 and no byte 96
"""


def dispatch():
    def case_register(offset, delta):
        # From the instruction's flag cell to the cell that is always 0 (the gap at 8), to a
        # register, back to the gap, forth to the first unmarked instruction, mark it.
        to_gap = "<<<" + "<<<<[<<<<]"
        back = ">>>>[>>>>]" + "+>>>"
        move = "<" * (8 - offset)
        return to_gap + move + delta + ">" * (8 - offset) + back

    cases = {
        1: case_register(1, "+"),
        2: case_register(1, "-"),
        3: case_register(2, "+"),
        4: case_register(2, "-"),
        5: case_register(2, "."),
        6: case_register(3, "."),
    }
    # Value 0: the end of the program. Clear every mark (scanning left to the gap), then
    # clear the run flag when A is 0; end on the gap's flag cell (11), which holds 0.
    end = ("<<<" + "<<<<[-<<<<]"            # at the gap (8)
           + "<" * 4 + "+"                  # cell 4: zero test flag = 1
           + "<<<" + "[->>>>+<<<<]"         # A moved to cell 5
           + ">>>>" + "[-<<<<+>>>[-]>]"     # A back; the flag cleared if A was not 0
           + "<" + "[-<<<<->>>>]"           # flag left: clear the run flag (cell 0)
           + ">" * 7)                       # the gap's flag cell (11)
    other = "[-]>-<<<+>>"                   # any other value: nothing, but marked
    chain = other
    for k in range(6, 0, -1):
        chain = "-[" + chain + "]" + ">[-" + cases[k] + "]<"
    decode = "[" + chain + "]" + ">[-" + end + "]"
    parts = [
        prose(DISPATCH_NOTE),
        prose("load: each input byte less 96 into the instructions from cell 13 on"),
        ">" * 13 + ",[" + "-" * 96 + ">>>>,]",
        prose("back to the gap (cell 8) over the instruction bytes; the line feed in cell 3"),
        "<<<<[<<<<]<" + "<<<<<" + "+" * 10 + "<<<" + "+",
        prose("main loop on the run flag in cell 0"),
        "[",
        prose("fetch: to the gap then over the marks to the first instruction not executed"),
        ">" * 8 + ">>>>[>>>>]",
        prose("decode: copy the byte to the first work cell; set the second as a flag"),
        ">[->+>+<<]>>[-<<+>>]+<",
        prose("execute"),
        decode,
        prose("back over the marks to the gap and to the run flag"),
        "<<<[<<<<]" + "<" * 8,
        "]",
    ]
    out = []
    for p in parts:
        if p.endswith("\n") and not set(p) <= COMMANDS | {"\n"}:
            out.append(p)
        else:
            out.extend(p[i:i + 72] + "\n" for i in range(0, len(p), 72))
    return "".join(out)


def dispatch_input():
    text = ("THE PROGRAM BELOW PRINTS THE ALPHABET ON A LINE AND RUNS TWO HUNDRED AND FIFTY SIX "
            "TIMES SINCE ITS FIRST INSTRUCTION TAKES ONE FROM REGISTER A WHICH STARTS AT ZERO "
            "THESE CAPITALS AND SPACES ARE INSTRUCTIONS THAT DO NOTHING\n")
    program = "b" + "c" * 65 + "ec" * 26 + "d" * 91 + "f"
    padding = "\nAND THESE ALSO DO NOTHING BUT ARE FETCHED AND DECODED ALL THE SAME " * 4
    data = text + program + padding + "\n"
    assert "\0" not in data and "`" not in data
    return data


# ---- Translate.b: a translator from Brainfuck to C, run on its own source ----

STATEMENTS = {
    ",": "{ int c = getchar(); if (c != EOF) *p = (unsigned char)c; }",
    ".": "putchar(*p);",
    "[": "while (*p) {",
    "]": "}",
}
# A run of one of these becomes one statement: the prefix, the run's length, ";".
RUNS = {"+": (1, "*p += "), "-": (2, "*p -= "), "<": (3, "p -= "), ">": (4, "p += ")}


def switch(m, t, cases, top):
    """Runs cases[v]() where v is the value in t (cleared); values above top and those with no
    case do nothing. t + 1 is the flag cell and must hold 0."""
    flag = t + 1

    def case(v):
        def run_case():
            m.add(flag, -1)
            if v in cases:
                cases[v]()
        m.loop(flag, run_case)

    def level(k):
        # entered with t holding the value less k plus 1; past top any value ends here
        m.add(t, -1)
        if k > top:
            m.loop(t, lambda: (m.clear(t), m.add(flag, -1)))
        else:
            m.loop(t, lambda: level(k + 1))
        case(k)

    m.add(flag, 1)
    m.loop(t, lambda: level(1))
    case(0)


def if_nonzero(m, cell, tmp, body):
    """Runs body once when cell is not 0; tmp and tmp + 1 must hold 0 and body must leave
    tmp alone."""
    m.copy(cell, [(tmp, 1)], tmp + 1)
    m.loop(tmp, lambda: (m.clear(tmp), body()))


def translate():
    m = Layout()
    run, ch, e, t, depth, spaces, work, out = 0, 2, 3, 5, 8, 9, 11, 14
    kind, eq, neq, shown, ends, starts, other = 16, 20, 21, 22, 42, 43, 44
    count = [24, 27, 30]                     # the run's length in decimal, lowest digit first
    x, y = 34, 38                            # work cells, each with two free ones after it
    # ends: the run so far ends with this byte; starts: the kind of the run it starts; other:
    # the statement of a command that is no run (1 to 4), in the order of STATEMENTS
    m.note("""
Translate: reads a Brainfuck program from the input and writes it as a C program: a run of
the same one of the four commands that add and move becomes one statement with its length
in decimal; each of the other four commands one statement; the other bytes are left out;
loops become while statements indented two spaces a level
Translate:in is a copy of this file: the program translates itself

Written for the Cellwright benchmarks by bench/programs/generate:py
Each byte read is told apart by a chain of nested decrements (51 deep); the run is counted
in three decimal digits; each statement is printed through one cell whose value runs up and
down to each character; the indentation is a copy of the depth counted down: much input and
output; tests and branches; little arithmetic: a compiler workload
8 bit cells; at the end of the input a read leaves the cell as it was
""")

    def indent():
        m.copy(depth, [(work, 1)], work + 1)
        m.loop(work, lambda: (m.add(work, -1), m.put(spaces), m.put(spaces)))

    def line(s):
        indent()
        m.text(out, s + "\n")

    def print_count():
        # the digits without leading zeros: a digit shows once it or one before it is not 0
        for i in (2, 1, 0):
            if i == 0:
                m.clear(shown)
                m.add(shown, 1)
            else:
                if_nonzero(m, count[i], x, lambda: (m.clear(shown), m.add(shown, 1)))

            def show(i=i):
                m.copy(count[i], [(out, 1)], count[i] + 1)
                m.add(out, 48)
                m.put(out)
                m.clear(out)
            if_nonzero(m, shown, y, show)
        m.clear(shown)

    def flush():
        # the statement of the run held so far, if any; then no run
        def statement(prefix):
            def run_case():
                indent()
                m.text(out, prefix)
                print_count()
                m.text(out, ";\n")
            return run_case
        m.copy(kind, [(x, 1)], x + 1)
        switch(m, x, {k: statement(prefix) for k, prefix in RUNS.values()}, 4)
        m.clear(kind)
        for d in count:
            m.clear(d)

    def extend(k):
        # the byte continues the run of kind k, or the run so far ends and one of kind k starts
        def case():
            m.copy(kind, [(x, 1)], x + 1)
            m.add(x, -k)
            m.add(eq, 1)
            m.loop(x, lambda: (m.clear(x), m.add(eq, -1)))
            m.add(neq, 1)
            m.loop(eq, lambda: (m.add(eq, -1), m.add(neq, -1),
                                decimal_increment(m, count, 0, lambda i: None)))
            m.loop(neq, lambda: (m.add(neq, -1), m.add(ends, 1), m.add(starts, k)))
        return case

    def single(code):
        return lambda: (m.add(ends, 1), m.add(other, code))

    def statement(c):
        def case():
            if c == "]":
                m.add(depth, -1)
            line(STATEMENTS[c])
            if c == "[":
                m.add(depth, 1)
        return case

    m.add(spaces, 32)
    m.text(out, "#include <stdio.h>\n\nstatic unsigned char tape[32768];\n\n"
                "int main(void)\n{\n")
    m.add(depth, 1)
    line("unsigned char *p = tape;")
    m.add(run, 1)

    def body():
        m.clear(ch)
        m.go(ch)
        m.parts.append(",")
        m.add(e, 1)
        m.copy(ch, [(t, 1)], t + 1)

        def decode_byte():
            m.clear(ch)
            m.add(e, -1)
            m.add(t, -43)
            cases = {ord(c) - 43: single(i + 1) for i, c in enumerate(STATEMENTS)}
            cases.update({ord(c) - 43: extend(k) for c, (k, _) in RUNS.items()})
            switch(m, t, cases, max(cases))
        m.loop(ch, decode_byte)
        if_nonzero(m, e, x, lambda: (m.clear(ends), m.add(ends, 1)))
        m.loop(ends, lambda: (m.add(ends, -1), flush()))
        m.loop(starts, lambda: (m.add(starts, -1), m.add(kind, 1), m.clear(count[0]),
                                m.add(count[0], 1)))
        switch(m, other, {i + 1: statement(c) for i, c in enumerate(STATEMENTS)}, len(STATEMENTS))

        def finish():
            m.add(e, -1)
            m.add(run, -1)
            line("return 0;")
            m.add(depth, -1)
            m.text(out, "}\n")
        m.loop(e, finish)

    m.loop(run, body)
    return m.code()


# ---- helpers shared by Fractal.b and Cells.b ----

def if_zero(m, x, body):
    """Runs body once when x holds 0; x + 1 and x + 2 must hold 0, body starts and must end with
    x + 1 at 0 and must leave x + 2 at 0. Ends on x + 2."""
    m.go(x)
    m.parts.append(">+<[>-]>[-")
    m.at = x + 1
    body()
    m.go(x + 1)
    m.parts.append(">]")
    m.at = x + 2


def inc(m, cells):
    """Adds 1 to the number whose bytes (lowest first) are at cells, carrying; each byte but the
    last has two cells holding 0 after it."""
    m.add(cells[0], 1)
    if len(cells) > 1:
        if_zero(m, cells[0], lambda: inc(m, cells[1:]))


def dec(m, cells):
    """Takes 1 from the number whose bytes are at cells, borrowing (as inc)."""
    if len(cells) > 1:
        if_zero(m, cells[0], lambda: dec(m, cells[1:]))
    m.add(cells[0], -1)


def units(m, src, tmp, step):
    """Runs step() once per unit of src, which is kept; tmp must hold 0."""
    m.loop(src, lambda: (m.add(src, -1), m.add(tmp, 1), step()))
    m.move(tmp, [(src, 1)])


def if_else(m, cond, flag, tmp, yes, no):
    """yes() when cond is not 0, else no(); cond is kept; flag and tmp must hold 0, tmp + 1
    too (it is the copy's work cell)."""
    m.add(flag, 1)
    m.copy(cond, [(tmp, 1)], tmp + 1)
    m.loop(tmp, lambda: (m.clear(tmp), m.add(flag, -1), yes()))
    m.loop(flag, lambda: (m.add(flag, -1), no()))


# ---- Fractal.b: fixed-point arithmetic over several cells ----

class Num:
    """A number of bytes (lowest first) three cells apart, the two between holding 0."""

    def __init__(self, at, size=2):
        self.bytes = [at + 3 * i for i in range(size)]
        self.lo, self.hi = self.bytes[0], self.bytes[-1]


FRACTAL_WIDTH, FRACTAL_HEIGHT, FRACTAL_LIMIT = 32, 11, 10


def fractal():
    m = Layout()
    w, h, limit = FRACTAL_WIDTH, FRACTAL_HEIGHT, FRACTAL_LIMIT
    scale = 256
    dx, dy = round(2.5 * scale / w), round(2.4 * scale / h)
    x, y, cx, cy, a, b, x2, y2, s, z = (Num(10 + 6 * i) for i in range(10))
    p = Num(70, 3)
    sx, sy, run, cnt, esc, rows, cols, out = 80, 83, 86, 89, 92, 93, 94, 95
    t, f1, f2, t2 = 100, 103, 104, 105          # t and t + 1 for switches; f1, f2, t2 and t2 + 1
    m.note(f"""
Fractal: Cellwright's own benchmark program; it stresses long arithmetic loops with many moves

The Mandelbrot set in text: {w} columns by {h} rows over real parts from minus 2 and
imaginary parts from minus {dy * (h // 2)}/{scale} (steps of {dx}/{scale} and {dy}/{scale});
each character tells how many of at most {limit} iterations z times z plus c stay within radius 2

Written for the Cellwright benchmarks by bench/programs/generate:py; the numbers are fixed
point with 8 fraction bits in two bytes (two's complement; the bytes three cells apart);
multiplied as magnitudes into three bytes one unit at a time with carries; their signs and
the escape told by comparisons
8 bit cells; no input
""")

    def put_const(num, value):
        v = value % 65536
        for cell, byte in ((num.lo, v % 256), (num.hi, v // 256)):
            m.clear(cell)
            m.add(cell, (byte + 128) % 256 - 128)

    def add_num(dst, src, sign):
        """dst += sign * src, both two's complement; src kept."""
        units(m, src.lo, t2, lambda: (inc if sign > 0 else dec)(m, dst.bytes))
        m.copy(src.hi, [(dst.hi, sign)], t2)

    def magnitude(num, mag, sign):
        """mag = |num|, sign = 1 when num is negative (its high byte 250 to 255 here)."""
        m.copy(num.hi, [(t, 1)], t2)
        m.add(t, 8)
        switch(m, t, {v: (lambda: m.add(sign, 1)) for v in range(2, 8)}, 7)

        def negative():
            for src, dst in ((num.lo, mag.lo), (num.hi, mag.hi)):
                m.add(dst, -1)
                m.copy(src, [(dst, -1)], t2)
            inc(m, mag.bytes)
        if_else(m, sign, f1, f2, negative, lambda: [m.copy(c, [(d, 1)], t2)
                                                    for c, d in ((num.lo, mag.lo), (num.hi, mag.hi))])

    def multiply(dst):
        """dst = a times b over 256 as magnitudes; a cleared, b kept, p used."""
        q = p.bytes
        m.loop(a.lo, lambda: (m.add(a.lo, -1),
                              units(m, b.lo, t2, lambda: inc(m, q)),
                              units(m, b.hi, t2, lambda: inc(m, q[1:]))))
        m.loop(a.hi, lambda: (m.add(a.hi, -1),
                              units(m, b.lo, t2, lambda: inc(m, q[1:])),
                              m.copy(b.hi, [(q[2], 1)], t2)))
        m.clear(q[0])
        m.move(q[1], [(dst.lo, 1)])
        m.move(q[2], [(dst.hi, 1)])

    def square(num, dst, sign):
        magnitude(num, a, sign)
        m.copy(a.lo, [(b.lo, 1)], t2)
        m.copy(a.hi, [(b.hi, 1)], t2)
        multiply(dst)
        m.clear(b.lo)
        m.clear(b.hi)

    def clear_num(num):
        for c in num.bytes:
            m.clear(c)

    def iterate():
        square(x, x2, sx)
        square(y, y2, sy)
        # escape when x2 + y2 reaches 4: its high byte 4 or more
        m.copy(x2.lo, [(s.lo, 1)], t2)
        m.copy(x2.hi, [(s.hi, 1)], t2)
        add_num(s, y2, 1)
        m.clear(s.lo)
        m.add(esc, 1)
        switch(m, s.hi, {v: (lambda: m.add(esc, -1)) for v in range(4)}, 3)

        def escaped():
            m.clear(run)
            clear_num(x2)
            clear_num(y2)

        def step():
            # z = x y, with the sign of x times the sign of y
            clear_num(a)
            clear_num(b)
            m.clear(sx)
            m.clear(sy)
            magnitude(x, a, sx)
            magnitude(y, b, sy)
            multiply(z)
            clear_num(b)
            m.move(sx, [(t, 1)])
            m.move(sy, [(t, 1)])
            switch(m, t, {1: lambda: m.add(sx, 1)}, 2)

            def negate():
                for c in z.bytes:
                    m.move(c, [(t, 1)])
                    m.add(c, -1)
                    m.move(t, [(c, -1)])
                inc(m, z.bytes)
            if_else(m, sx, f1, f2, negate, lambda: None)
            m.clear(sx)
            # x = x2 - y2 + cx; y = 2 z + cy
            clear_num(x)
            m.move(x2.lo, [(x.lo, 1)])
            m.move(x2.hi, [(x.hi, 1)])
            add_num(x, y2, -1)
            clear_num(y2)
            add_num(x, cx, 1)
            clear_num(y)
            add_num(y, z, 1)
            add_num(y, z, 1)
            clear_num(z)
            add_num(y, cy, 1)
            m.add(cnt, -1)
            if_zero(m, cnt, lambda: m.add(run, -1))
        if_else(m, esc, f1, f2, escaped, step)
        m.clear(esc)
        m.clear(sx)
        m.clear(sy)

    def palette(n):
        if n >= limit:
            return "@"
        for bound, ch in ((2, " "), (3, "."), (4, ":"), (6, "-"), (8, "="), (12, "+"), (18, "*")):
            if n < bound:
                return ch
        return "#"

    def pixel():
        clear_num(x)
        clear_num(y)
        m.add(cnt, limit)
        m.add(run, 1)
        m.loop(run, iterate)
        cases = {c: (lambda c=c: m.text(out, palette(limit - c))) for c in range(limit + 1)}
        switch(m, cnt, cases, limit)

    def row():
        put_const(cx, -2 * scale)
        m.add(cols, w)
        m.loop(cols, lambda: (pixel(), [inc(m, cx.bytes) for _ in range(dx)], m.add(cols, -1)))
        m.text(out, "\n")
        add_const = dy
        for _ in range(add_const):
            inc(m, cy.bytes)
        m.add(rows, -1)

    put_const(cy, -dy * (h // 2))
    m.add(rows, h)
    m.loop(rows, row)
    return m.code()


# ---- Nested.b: deeply nested counting loops ----

NESTED_PASSES, NESTED_COUNTS = 12, (250, 240, 230)


def nested():
    m = Layout()
    passes, counts = NESTED_PASSES, NESTED_COUNTS
    letter, out = 0, 1
    levels = [3, 4, 5, 6]                    # the pass counter, then the three inner counters
    work = [8, 9, 10, 11]
    m.note(f"""
Nested: Cellwright's own benchmark program; it stresses deeply nested short loops

Four counting loops one inside the other ({passes} passes of {counts[0]} times {counts[1]} times
{counts[2]} turns); each level does a little work on its own cells (adds and moves of 8 bit
counters); each pass prints a letter and the line ends with the four work cells told as
letters: billions of commands with a loop test at every level

Written for the Cellwright benchmarks by bench/programs/generate:py
8 bit cells; no input
""")
    m.add(letter, 64)

    def level(i):
        if i == len(counts):
            m.add(levels[i], -1)
            m.add(work[0], 1)
            m.add(work[1], -3)
            m.add(work[2], 1)
            return
        m.add(levels[i + 1], counts[i] - 256 if counts[i] > 127 else counts[i])
        m.loop(levels[i + 1], lambda: level(i + 1))
        m.add(work[3], 1)
        m.add(work[i], 1)
        if i:
            m.add(levels[i], -1)

    m.add(levels[0], passes)

    def one_pass():
        level(0)
        m.add(letter, 1)
        m.put(letter)
        m.add(levels[0], -1)
    m.loop(levels[0], one_pass)
    m.add(out, ord(" "))
    m.put(out)
    m.clear(out)
    high, low, left = 20, 21, 23
    for c in work:
        # each work cell as two letters from A: its high and its low four bits
        m.add(high, 65)
        m.add(low, 65)
        m.add(left, 16)

        def unit():
            m.add(c, -1)
            m.add(low, 1)
            m.add(left, -1)
            if_zero(m, left, lambda: (m.add(left, 16), m.add(low, -16), m.add(high, 1)))
        m.loop(c, unit)
        m.clear(left)
        m.put(high)
        m.put(low)
        m.clear(high)
        m.clear(low)
    m.add(out, 10)
    m.put(out)
    return m.code()


# ---- Cells.b: Conway's game of life on a grid read from the input ----

CELLS_WIDTH, CELLS_HEIGHT, CELLS_SHOWN, CELLS_EVERY = 64, 30, 40, 250


def cells_input():
    """A Gosper glider gun in the top left corner and a few still and blinking shapes."""
    w, h = CELLS_WIDTH, CELLS_HEIGHT
    grid = [["."] * w for _ in range(h)]
    gun = ["........................O...........",
           "......................O.O...........",
           "............OO......OO............OO",
           "...........O...O....OO............OO",
           "OO........O.....O...OO..............",
           "OO........O...O.OO....O.O...........",
           "..........O.....O.......O...........",
           "...........O...O....................",
           "............OO......................"]
    shapes = [(1, 1, gun),
              (16, 40, ["OOO"]),
              (20, 6, [".OO", "OO.", ".O."]),
              (18, 30, ["OO", "OO"])]
    for top, left, rows in shapes:
        for i, r in enumerate(rows):
            for j, ch in enumerate(r):
                if ch == "O":
                    grid[top + i][left + j] = "#"
    return "".join("".join(r) + "\n" for r in grid)


def cells():
    m = Layout()
    w, h, shown, every = CELLS_WIDTH, CELLS_HEIGHT, CELLS_SHOWN, CELLS_EVERY
    k = 9
    # the fields of a record: a walk flag (1 in every record of the grid); the state; interior
    # (1 where the cell is not on the dead border); row end (1 on the last border cell of an
    # interior row); the new state; the neighbour count with the switch's flag after it; two
    # work cells
    F, S, M, E, X, N, T, U, V = range(k)
    prints, steps, out = 0, 3, 6
    base = 10                                # the record before the grid: its walk flag is 0
    stride = (w + 2) * k
    m.note(f"""
Cells: Cellwright's own benchmark program; it stresses a cellular automaton over a long tape

Conway's game of life on a grid of {w} by {h} cells read from the input (a line a row; a
number sign is a live cell and anything else a dead one) with dead cells all round it; it
shows the grid after every {every} generations; {shown} times in all; a live cell as a number
sign and a dead one as a full stop

Written for the Cellwright benchmarks by bench/programs/generate:py; every cell is a record
of {k} fields walked over in a loop; each live cell adds 1 to the neighbour counts of its
eight neighbours; a move of a whole row of records ({stride} cells) up or down; then the rule
by a switch on the count
8 bit cells; the input holds {h} lines of {w} characters
""")

    def record(row, col):
        return base + k * (1 + row * (w + 2) + col)

    m.note("the walk flags; the interior; the row ends")
    for row in range(h + 2):
        for col in range(w + 2):
            r = record(row, col)
            m.add(r + F, 1)
            if 1 <= row <= h and 1 <= col <= w:
                m.add(r + M, 1)
            if 1 <= row <= h and col == w + 1:
                m.add(r + E, 1)
    m.note("the grid read from the input")
    for row in range(1, h + 1):
        for col in range(1, w + 2):
            r = record(row, col) + T
            m.go(r)
            m.parts.append(",")
            if col <= w:
                m.add(r, -ord("#"))
                m.add(r - T + S, 1)
                m.loop(r, lambda r=r: (m.clear(r), m.add(r - T + S, -1)))
            else:
                m.clear(r)

    def walk(body):
        # from the record before the grid over every record and back
        first = base + k
        m.go(first)
        m.parts.append("[")
        body(first)
        m.go(first)
        m.parts.append(">" * k + "]" + "<" * k + "[" + "<" * k + "]")
        m.at = base

    def push(r):
        def spread():
            m.add(r + S, -1)
            m.add(r + T, 1)
            for dy in (-1, 0, 1):
                for dx in (-1, 0, 1):
                    if dy or dx:
                        m.add(r + dy * stride + dx * k + N, 1)
        m.loop(r + S, spread)
        m.move(r + T, [(r + S, 1)])

    def rule(show):
        def body(r):
            m.copy(r + M, [(r + V, 1)], r + U)

            def live():
                m.add(r + V, -1)
                switch(m, r + N, {2: lambda: m.copy(r + S, [(r + X, 1)], r + U),
                                  3: lambda: m.add(r + X, 1)}, 3)
            m.loop(r + V, live)
            m.clear(r + N)
            m.clear(r + S)
            m.move(r + X, [(r + S, 1)])
            if show:
                m.copy(r + M, [(r + V, 1)], r + U)

                def put():
                    m.add(r + V, -1)
                    m.add(r + U, ord("."))
                    m.copy(r + S, [(r + U, ord("#") - ord("."))], r + T)
                    m.put(r + U)
                    m.clear(r + U)
                m.loop(r + V, put)
                m.copy(r + E, [(r + V, 1)], r + U)
                m.loop(r + V, lambda: (m.add(r + V, -1), m.add(r + U, 10), m.put(r + U),
                                       m.clear(r + U)))
        return body

    def generation(show):
        walk(push)
        walk(rule(show))

    m.add(prints, shown)

    def show_once():
        m.add(steps, every - 1)
        m.loop(steps, lambda: (generation(False), m.go(steps), m.add(steps, -1)))
        generation(True)
        m.add(out, 10)
        m.put(out)
        m.clear(out)
        m.add(prints, -1)
    m.loop(prints, show_once)
    return m.code()


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    translate_text = translate()
    files = {
        "Tickets.b": tickets(),
        "Dispatch.b": dispatch(),
        "Dispatch.in": dispatch_input(),
        "Translate.b": translate_text,
        "Translate.in": translate_text,
        "Fractal.b": fractal(),
        "Nested.b": nested(),
        "Cells.b": cells(),
        "Cells.in": cells_input(),
    }
    for name, text in files.items():
        with open(os.path.join(folder, name), "w", newline="\n") as f:
            f.write(text)


if __name__ == "__main__":
    main()
