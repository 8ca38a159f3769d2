# echo.b: echo a line
#
# Shows: reading input. Each , takes one byte of the line typed in the output
# window; the program prints what it reads until the end of the line.
# Try: press F9 (Run). The input panel opens in the output window: type a
# line and press Enter. The line break is reported as LF (Interpreter menu),
# and LF (10) is what ends the loop below.
# In the runner: echo hello | cellwright-run echo.b

+[-              cell 0 says go on
>[-],            read a byte into cell 1 or leave 0 at the end of the input
[                not the end of the input
----------
[                not a line feed either
++++++++++.      restore the byte and print it
<+>              go on with the next byte
[-]
]
]
<]
++++++++++.      end the output with a line feed
