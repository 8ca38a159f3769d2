# numbers.b: the Fibonacci numbers below 256, in decimal
#
# Shows: printing a number. A cell holds a value from 0 to 255; to print it
# as digits the program divides it by 10 twice (cells 3 to 11), then prints
# the hundreds and the tens only where they are needed, and the ones.
# Try: Run (F9). Then open the memory window, start with Trace (F7) and
# follow one division: cell 4 counts down from 10, and each time it reaches
# 0 the quotient in cell 7 grows by one.
# With 16 bit cells (Ctrl+9) the output is the same: no value passes 233.

+>+>+++++++++++++   cells 0 and 1 hold two numbers and cell 2 counts 13
[
<<
[->>>+>+<<<<]>>>>[-<<<<+>>>>]       copy cell 0 to cell 3
++++++++++<
[->->+<[>-<[->>+<<]]>>[-<<+>>]<[-<++++++++++>>>+<<]<<]
>[->-<]>++++++++++                  the ones in cell 5
>>>++++++++++<
[->->+<[>-<[->>+<<]]>>[-<<+>>]<[-<++++++++++>>>+<<]<<]
>[->-<]>++++++++++                  the tens in cell 9 and the hundreds in 11
>>
[>>++++++[-<<++++++++>>]<<.[-]>+<]  print the hundreds if any
>[-<<<<<+>>>>>]
<<<[-<+>]
<[->+<<[-]+>]
<[>>>>++++++[-<<++++++++>>]<<.[-]<<[-]]   the tens after hundreds or if any
<<>>++++++[-<<++++++++>>]<<.[-]     the ones always
++++++++++.[-]                      a line feed
<<<<[->>+>+<<<]<[->+<]>>>[-<<<+>>>]>[-<<<+>>>]   the next pair
<<-
]
