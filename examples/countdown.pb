# countdown.pb: a procedure that calls itself
#
# Shows: recursion in pbrain. Procedure 1 prints the digit in cell 2, lowers
# it, and while cell 1 is not 0 lowers cell 1 and calls itself again.
# Try: Enable Procedural BF (Ctrl+P), then Run (F9): the output is
# 9876543210. Trace (F7) into it: every call goes one level deeper until
# cell 1 reaches 0, then the calls return one after the other.
# In the runner: cellwright-run --pbrain countdown.pb

+(>>.-<[-<:>]<)               procedure 1
>+++++++++                    cell 1 counts 9 calls
>>++++++[-<+++++++++>]<+++    cell 2 is the digit 9
<<:                           the first call
>>>++++++++++.
