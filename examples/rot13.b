# rot13.b: ROT13 of a typed line
#
# Shows: arithmetic on input. Every letter moves 13 places along the
# alphabet (A becomes N and N becomes A); other bytes stay as they are.
# How: a copy of the byte is counted down through the ranges below A, A to M,
# N to Z, between Z and a, a to m and n to z; each range that the count
# reaches sets the amount added to the byte: 0, 13 or minus 13.
# Try: Run (F9) and type "Hello, World!": the output is "Uryyb, Jbeyq!".
# Running that through the program again gives the original back.
# Put the caret on a line below and press F4 (Run to Cursor) to stop there.
# In the runner: echo Hello | cellwright-run rot13.b

+[-              cell 0 says go on
>[-],            cell 1 holds the byte
[
----------
[
++++++++++
[->+>+<<]>>[-<<+>>]<+
[->+<]>[[-<+>]>>[-]<<]<
>>>++++++++[-<++++++++>]<+[-<<[->+<]>[-[-<+>]]>]<<
[->+<]>[[-<+>]>>[-]+++++++++++++<<]<
>>+++++++++++++[-<<[->+<]>[-[-<+>]]>]<<
[->+<]>[[-<+>]>>[-]-------------<<]<
>>+++++++++++++[-<<[->+<]>[-[-<+>]]>]<<
[->+<]>[[-<+>]>>[-]<<]<
>>++++++[-<<[->+<]>[-[-<+>]]>]<<
[->+<]>[[-<+>]>>[-]+++++++++++++<<]<
>>+++++++++++++[-<<[->+<]>[-[-<+>]]>]<<
[->+<]>[[-<+>]>>[-]-------------<<]<
>>+++++++++++++[-<<[->+<]>[-[-<+>]]>]<<
[->+<]>[[-<+>]>>[-]<<]<
[-]
>>>[-<<<<+>>>>]<<<<
.                print the byte with its amount added
<+>
[-]
]
]
<]
++++++++++.
