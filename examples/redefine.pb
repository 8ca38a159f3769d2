# redefine.pb: a procedure defined again
#
# Shows: that a definition takes effect when it runs. The first ( ) defines
# procedure 1 to print "old"; after the first call a second ( ) with the
# same cell value replaces it with one that prints "new".
# Try: Enable Procedural BF (Ctrl+P) and Run (F9): the output is "old" and
# then "new". With Trace (F7) the first F7 on a ( jumps over its body.
# In the runner: cellwright-run --pbrain redefine.pb

+                procedure 1 is named by cell 0 holding 1
(>>++++++++++[-<+++++++++++>]<+.---.--------.[-]++++++++++.[-]<)
:
(>>++++++++++[-<+++++++++++>]<.---------.++++++++++++++++++.[-]++++++++++.[-]<)
:
