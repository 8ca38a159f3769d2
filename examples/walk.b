# walk.b: a walk along the tape
#
# Shows: the memory window following the data pointer. The program walks
# 100 cells to the right, marking every tenth, comes back by tens, then
# visits the marks again and turns each into a letter.
# Try: check Run > Watch Program Operation (F11), then Run (F9). The editor
# marks each command as it runs and the memory window keeps the current cell
# (bold) in view. Ctrl+F10 sets the speed; F8 pauses and F9 goes on.
# At the very end the pointer steps left from cell 0 and lands on cell 32767:
# the tape wraps around.

>>>>>>>>>>+          cell 10 gets 1
>>>>>>>>>>++         cell 20 gets 2
>>>>>>>>>>+++
>>>>>>>>>>++++
>>>>>>>>>>+++++
>>>>>>>>>>++++++
>>>>>>>>>>+++++++
>>>>>>>>>>++++++++
>>>>>>>>>>+++++++++
>>>>>>>>>>++++++++++  cell 100 gets 10
[<<<<<<<<<<]         back by tens until cell 0
>>>>>>>>>>
[>++++++++[<++++++++>-]<.>>>>>>>>>>]   each mark plus 64 is a letter
++++++++++.[-]
<<<<<<<<<<[<<<<<<<<<<]
<+>                  cell 32767 and back
