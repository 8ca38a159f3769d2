// A plain single-step reference machine for the engine tests: the meaning of a program,
// command by command, counted as the engine counts single steps.
#pragma once

#include "cel_InterpreterBase.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace celtest {

struct TRef {
    struct TCmd {
        uint32_t Offset;
        char Ch;
        uint32_t Partner;
    };
    std::vector<TCmd> Cmds;
    uint32_t Mask;
    uint32_t Pc = 0;
    uint32_t Dp = 0;
    std::vector<uint32_t> Tape = std::vector<uint32_t>(cel::TapeSize, 0);
    std::vector<int32_t> Procs = std::vector<int32_t>(65536, -1);
    std::vector<uint32_t> Calls;
    uint64_t Steps = 0;
    std::string Input;
    size_t InputPos = 0;
    uint32_t ReadsPastEnd = 0;  // input commands that found no input left
    std::string Out;
    bool Illegal = false;

    uint32_t& Cell() { return Tape[Dp]; }

    TRef(const std::string& text, bool wide, bool proc, std::string input = {})
        : Mask(wide ? 0xFFFF : 0xFF), Input(std::move(input)) {
        const std::string commands = proc ? "<>+-.,[]():" : "<>+-.,[]";
        std::vector<uint32_t> open;
        for (uint32_t i = 0; i < text.size(); ++i) {
            if (commands.find(text[i]) == std::string::npos) continue;
            const uint32_t index = static_cast<uint32_t>(Cmds.size());
            Cmds.push_back({i, text[i], 0});
            if (text[i] == '[' || text[i] == '(') open.push_back(index);
            if (text[i] == ']' || text[i] == ')') {
                Cmds[index].Partner = open.back();
                Cmds[open.back()].Partner = index;
                open.pop_back();
            }
        }
    }
    bool Done() const { return Illegal || Pc >= Cmds.size(); }
    uint32_t Offset() const { return Cmds[Pc].Offset; }
    uint32_t CommandAt(uint32_t offset) const {
        auto it = std::lower_bound(Cmds.begin(), Cmds.end(), offset,
                                   [](const TCmd& c, uint32_t v) { return c.Offset < v; });
        return static_cast<uint32_t>(it - Cmds.begin());
    }
    void Step() {
        const TCmd& c = Cmds[Pc];
        uint32_t& cell = Tape[Dp];
        switch (c.Ch) {
        case '>': Dp = (Dp + 1) & (cel::TapeSize - 1); break;
        case '<': Dp = (Dp - 1) & (cel::TapeSize - 1); break;
        case '+': cell = (cell + 1) & Mask; break;
        case '-': cell = (cell - 1) & Mask; break;
        case '.': Out.push_back(static_cast<char>(cell & 0xFF)); break;
        case ',':
            if (InputPos < Input.size()) cell = static_cast<uint8_t>(Input[InputPos++]);
            else ++ReadsPastEnd;
            break;
        case '[':
            if (cell == 0) Pc = c.Partner;
            break;
        case ']':
            if (cell != 0) Pc = c.Partner;
            break;
        case '(':
            Procs[cell] = static_cast<int32_t>(Pc);
            Pc = c.Partner;
            break;
        case ')':
            Pc = Calls.back();
            Calls.pop_back();
            break;
        case ':':
            if (Procs[cell] < 0) {
                Illegal = true;
                return;
            }
            Calls.push_back(Pc);
            Pc = static_cast<uint32_t>(Procs[cell]);
            break;
        }
        ++Pc;
        ++Steps;
    }
    // False when the program did not end within maxSteps.
    bool RunToEnd(uint64_t maxSteps) {
        while (!Done()) {
            if (Steps >= maxSteps) return false;
            Step();
        }
        return true;
    }
    void RunToEnd() {
        while (!Done()) Step();
    }
    void AdvanceTo(uint64_t steps) {
        while (!Done() && Steps < steps) Step();
    }
};

}  // namespace celtest
