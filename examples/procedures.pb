# procedures.pb: pbrain procedures and nested calls
#
# Shows: defining procedures and calling one from another. A ( ) pair defines
# a procedure named by the value of the current cell; a : calls the
# procedure named by the current cell. Procedure 1 prints cell 1 and adds 1
# to it, procedure 2 calls procedure 1 twice, procedure 3 calls 2 twice.
# Try: check Interpreter > Enable Procedural BF (Ctrl+P), then Run (F9): the
# output is ABCDEFG. Trace (F7) through it to see the calls jump into the
# bodies and back.
# In the runner: cellwright-run --pbrain procedures.pb

+(>.+<)          procedure 1
+(-::+)          procedure 2
+(-::+)          procedure 3
>>+++++[-<+++++++++++++>]<<   cell 1 is A
--:              call 1 which prints A
+:               call 2 which prints B and C
+:               call 3 which prints D to G
>>++++++++++.
