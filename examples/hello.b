# hello.b: Hello World
#
# Shows: the shortest way from a new window to a running program.
# Try: press F9 (Run). The output window shows "Hello World!". Then press
# F7 (Trace) to start again in single steps: every F7 runs the command that
# is marked in the editor, and the memory window shows the cells it changes.
# Lines that begin with # are comments while Interpreter > Enable Comment
# Markers is checked (the default), so the text above never runs.

++++++++[>++++[>++>+++>+++>+<<<<-]>+>+>->>+[<]<-]>>.>---.+++++++..+++.>>.<-.<.
+++.------.--------.>>+.>++.
