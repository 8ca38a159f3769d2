// How a source is read, in one place. The engine's analysis, the strip tool and the editor's
// bracket highlight all read a source through these two functions, so a rule changed here
// changes all three:
//
//   ForEachCommand(text, rules, visit)    the command characters of a source, in order, with
//                                         their offsets: comment lines and disabled procedure
//                                         commands are left out;
//   PairBrackets(count, opAt, pair, ...)  pairs the [ ] and ( ) among those commands.
//
// Both are templates over the caller's visitor, so a reading costs what a loop written in place
// would. Standard library only.
#pragma once

#include "cel_Operations.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace cel {

// The switches a source is read with.
struct TLexRules {
    // A line whose first character is one of CommentMarkers is a comment line: none of its
    // characters is a command. A line starts at the start of the text and after each LF.
    bool CommentMarkers = true;
    // ( ) : are commands (pbrain); otherwise they are ordinary characters.
    bool Procedures = false;
    // The engine and the editor pass over a CR without ending the line start, so a marker after
    // a CR at a line's start still makes a comment line. The strip tool takes a CR as an ordinary
    // character, which ends the line start. The two differ only on a CR that starts a line,
    // which the editor's text (CR only before LF) never has.
    bool CrEndsLineStart = false;
};

// Calls visit(offset, op) for each command character of text (8-bit), in order: offset is the
// character's 0-based offset in text, op its operation (one with TOpSource Command or Procedure).
template <class Visit>
void ForEachCommand(std::string_view text, const TLexRules& rules, Visit&& visit) {
    const std::array<TOpCode, 256>& codes = rules.Procedures ? CharTable.ProcCode : CharTable.Code;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    bool lineStart = true;
    for (const char* p = begin; p < end; ++p) {
        const unsigned char ch = static_cast<unsigned char>(*p);
        if (ch == '\n') {
            lineStart = true;
            continue;
        }
        if (lineStart) {
            if (ch == '\r' && !rules.CrEndsLineStart) continue;
            if (rules.CommentMarkers && CharTable.Marker[ch]) {
                // On to the line's LF, which the loop steps past; the next line starts there.
                p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
                if (p == nullptr) return;
                continue;
            }
            lineStart = false;
        }
        const TOpCode op = codes[ch];
        if (op != opNone) visit(static_cast<size_t>(p - begin), op);
    }
}

// The first fault PairBrackets met; the engine reports it as its structure error.
enum class TBracketFault : uint8_t {
    None,
    UnclosedBracket,      // a [ has no ]
    UnopenedBracket,      // a ] with nothing open before it
    UnclosedParenthesis,  // a ( has no )
    UnopenedParenthesis,  // a ) with nothing open before it
    Crossed,              // a ] meets an open (, or a ) an open [
};

// Pairs the brackets among count operations, read from the first: [ and ( wait on a stack of
// open ones; ] and ) pair with the innermost open one, which must be of their own kind
// (opLoopStart with opLoopEnd, opProcStart with opProcEnd; every other operation, opClearDec
// and opClearInc too, is passed over). opAt(i) gives the i-th operation; pair(open, close) is
// called with the indices of each pair as it closes.
//
// A closing one that pairs with nothing is a fault. With stopAtFault the pairing ends there
// (the engine's analysis: the program will not run); without, it passes over that one and goes
// on, so every other pair is still found (the editor's highlight). Returns the first fault; when
// no closing one failed but some are still open at the end, the innermost of those decides.
// faultAt, when given, receives the index of the one at fault: the closing one that paired with
// nothing, or the innermost one left open.
template <class OpAt, class Pair>
TBracketFault PairBrackets(uint32_t count, OpAt&& opAt, Pair&& pair, bool stopAtFault, uint32_t* faultAt = nullptr) {
    std::vector<uint32_t> open;
    TBracketFault fault = TBracketFault::None;
    for (uint32_t i = 0; i < count; ++i) {
        const TOpCode op = opAt(i);
        if (op == opLoopStart || op == opProcStart) {
            open.push_back(i);
        } else if (op == opLoopEnd || op == opProcEnd) {
            const TOpCode opening = op == opLoopEnd ? opLoopStart : opProcStart;
            if (!open.empty() && opAt(open.back()) == opening) {
                pair(open.back(), i);
                open.pop_back();
                continue;
            }
            if (fault == TBracketFault::None) {
                fault = !open.empty()         ? TBracketFault::Crossed
                        : op == opLoopEnd     ? TBracketFault::UnopenedBracket
                                              : TBracketFault::UnopenedParenthesis;
                if (faultAt) *faultAt = i;
            }
            if (stopAtFault) return fault;
        }
    }
    if (fault == TBracketFault::None && !open.empty()) {
        fault = opAt(open.back()) == opLoopStart ? TBracketFault::UnclosedBracket : TBracketFault::UnclosedParenthesis;
        if (faultAt) *faultAt = open.back();
    }
    return fault;
}

}  // namespace cel
