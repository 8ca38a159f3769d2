# illegal.pb: a call of a procedure that does not exist
#
# Shows: error 109 and how to go on from it. Procedure 1 prints "OK"; the
# program then sets cell 0 to 0 and calls procedure 0, which was never
# defined.
# Try: Enable Procedural BF (Ctrl+P) and Run (F9). The program prints "Call",
# then "Error 109: Illegal procedure call." appears and the program pauses
# on the : that failed. Press F12 (Modify Memory at current Position), set
# cell 0 to 1 and press F9: the call now finds procedure 1, which prints OK.
# In the runner the error ends the run: cellwright-run --pbrain illegal.pb

+                procedure 1
(>>++++++++[-<++++++++++>]<-.----.[-]++++++++++.[-]<)
-                cell 0 back to 0
>>+++++++[-<++++++++++>]<---.   C
++++++++++++++++++++++++++++++.  a
+++++++++++..                    l l
[-]++++++++++.[-]<               a line feed
:                call procedure 0
