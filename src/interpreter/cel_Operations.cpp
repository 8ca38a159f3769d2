#include "cel_Operations.h"

namespace cel {

std::string InstructionText(const TInstruction& ins) {
    if (ins.Op >= OpCount) {
        std::string text("?");  // a code the list does not name
        text += std::to_string(ins.Op);
        return text;
    }
    const TOpInfo& op = Operation(ins.Op);
    std::string text(op.Text);
    if (op.Arg == TOpArg::Count) {
        text += 'x';
        text += std::to_string(ins.Arg);
    }
    return text;
}

std::string ProgramText(const std::vector<TInstruction>& list, uint32_t count) {
    std::string text;
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += InstructionText(list[i]);
    }
    return text;
}

std::string DumpList(const std::vector<TInstruction>& list, uint32_t count) {
    std::string dump;
    for (uint32_t i = 0; i < count; ++i) {
        const TInstruction& ins = list[i];
        dump += std::to_string(i);
        dump += " @";
        dump += std::to_string(ins.Origin);
        dump += ' ';
        dump += InstructionText(ins);
        if (ins.Op < OpCount && Operation(ins.Op).Arg == TOpArg::Partner) {
            dump += " ->";
            dump += std::to_string(ins.Arg);
        }
        dump += '\n';
    }
    return dump;
}

}  // namespace cel
