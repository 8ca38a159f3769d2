# loop.b: six times seven
#
# Shows: a loop inside a loop, to step through.
# Try: press F7 (Trace). The first command is marked and the program waits;
# every F7 runs one command. Watch cell 0 count the rows down and cell 2 grow
# in the memory window.
# Then put the caret on the dot of the line "print it" and press F4 (Run to
# Cursor): the program runs at full speed and stops before that command.
# F9 (Run) runs the rest. The output is the character 42 and the number 42.

++++++               six rows in cell 0
[                    the outer loop runs once per row
>+++++++             seven in cell 1
[>+<-]               the inner loop moves them to cell 2 one by one
<-                   one row less
]
>>                   cell 2 holds six times seven
.                    print it
++++++++++.          the digit 4 is character 52
--.                  and 2 is 50
[-]++++++++++.       a line feed
