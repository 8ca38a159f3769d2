# reverse.b: a typed line backwards
#
# Shows: the tape as a stack. Every byte of the line goes into a cell of its
# own, then the program walks back to cell 0 and prints them on the way.
# Try: Run (F9), type a line and press Enter. Then look at the memory window:
# Trace (F7) through a second run and watch the line fill cells 1, 2, 3 and on.
# In the runner: echo stressed | cellwright-run reverse.b

>+               cell 0 stays 0 and marks the left end
[[-],[->+>+<<]>[----------[[-]>>+<<]]>>[-<[-<<+>>]<+>>]<[-]<]
<<[.<]           back from the last byte to cell 0 printing each
++++++++++.      and a line feed
