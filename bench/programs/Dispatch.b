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
load: each input byte less 96 into the instructions from cell 13 on
>>>>>>>>>>>>>,[---------------------------------------------------------
--------------------------------------->>>>,]
back to the gap (cell 8) over the instruction bytes; the line feed in cell 3
<<<<[<<<<]<<<<<<++++++++++<<<+
main loop on the run flag in cell 0
[
fetch: to the gap then over the marks to the first instruction not executed
>>>>>>>>>>>>[>>>>]
decode: copy the byte to the first work cell; set the second as a flag
>[->+>+<<]>>[-<<+>>]+<
execute
[-[-[-[-[-[-[[-]>-<<<+>>]>[-<<<<<<<[<<<<]<<<<<.>>>>>>>>>[>>>>]+>>>]<]>[-
<<<<<<<[<<<<]<<<<<<.>>>>>>>>>>[>>>>]+>>>]<]>[-<<<<<<<[<<<<]<<<<<<->>>>>>
>>>>[>>>>]+>>>]<]>[-<<<<<<<[<<<<]<<<<<<+>>>>>>>>>>[>>>>]+>>>]<]>[-<<<<<<
<[<<<<]<<<<<<<->>>>>>>>>>>[>>>>]+>>>]<]>[-<<<<<<<[<<<<]<<<<<<<+>>>>>>>>>
>>[>>>>]+>>>]<]>[-<<<<<<<[-<<<<]<<<<+<<<[->>>>+<<<<]>>>>[-<<<<+>>>[-]>]<
[-<<<<->>>>]>>>>>>>]
back over the marks to the gap and to the run flag
<<<[<<<<]<<<<<<<<
]
