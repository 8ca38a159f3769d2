# width.b: 8 or 16 bit cells
#
# Shows: the cell width. 16 times 16 is 256, which an 8 bit cell cannot hold:
# there it wraps to 0, while a 16 bit cell keeps it.
# Try: Run (F9), then switch to 16 bit cells (Interpreter > Use 16 Bit Mode,
# Ctrl+9) and run again. In the memory window the cells show 4 hex digits.
# The text " bit cells" was made with Extras > Text Generator (Ctrl+T).
# In the runner: cellwright-run --cells 16 width.b

++++++++++++++++[>++++++++++++++++<-]>   cell 1 is 256 or 0
>+<                                      cell 2 says it was 0
[[-]>->>++++++[-<++++++++>]<+.+++++.[-]<<<]   not 0 so print 16
>[->>+++++++[-<++++++++>]<.[-]<]         still 0 so print 8
>
[-]>[-]<
>++++[<++++++++>-]<.
>++++++[<+++++++++++>-]<.
+++++++.
+++++++++++.
>+++++++[<------------>-]<.
>++++++[<+++++++++++>-]<+.
++.
+++++++.
.
+++++++.
>+++++++[<--------------->-]<.
