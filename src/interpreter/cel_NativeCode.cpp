#include "cel_NativeCode.h"

#if defined(__x86_64__) && defined(CELLWRIGHT_HAVE_XBYAK)
#define CEL_NATIVE_CODE 1
#include <xbyak/xbyak.h>
#include <xbyak/xbyak_util.h>
#endif

#if CEL_NATIVE_CODE
#include <sys/mman.h>
#endif

#include <cstddef>
#include <vector>

namespace cel {

#if CEL_NATIVE_CODE

namespace {

using namespace Xbyak::util;

// Pages for the code from the system, a buffer of LargeCode bytes or more in 2 MB pages where
// the system lends them on request (transparent huge pages in "madvise" mode): the first write
// to each 4 KB page costs a fault, and on some virtual machines a fault costs as much as
// clearing a 2 MB page.
class TCodePages : public Xbyak::Allocator {
public:
    uint8_t* alloc(size_t size) override {
        constexpr size_t Page = 4096, Large = size_t{2} << 20, LargeCode = size_t{256} << 10;
        size = (size + Page - 1) & ~(Page - 1);
        const bool large = size >= LargeCode;
        if (large) size = (size + Large - 1) & ~(Large - 1);  // whole large pages
        const size_t mapped = large ? size + Large : size;
        void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return nullptr;
        auto* base = static_cast<uint8_t*>(p);
        uint8_t* code = base;
        if (large) {
            // The code from a 2 MB boundary; the pages around it go back.
            code = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(base) + Large - 1) & ~uintptr_t{Large - 1});
            if (code != base) ::munmap(base, static_cast<size_t>(code - base));
            if (base + mapped != code + size) ::munmap(code + size, static_cast<size_t>(base + mapped - (code + size)));
#ifdef MADV_HUGEPAGE
            ::madvise(code, size, MADV_HUGEPAGE);
#endif
        }
        Sizes.emplace_back(code, size);
        return code;
    }
    void free(uint8_t* p) override {
        for (auto& [code, size] : Sizes) {
            if (code != p) continue;
            ::munmap(code, size);
            code = nullptr;
            return;
        }
    }

private:
    std::vector<std::pair<uint8_t*, size_t>> Sizes;  // the mappings made
};

// Registers while native code runs (callee-saved, so the engine's helpers keep them):
//   rbx the frame, r12 the tape, r13d the data pointer, r14 the executed count,
//   r15 &AttentionAt, rbp &Executed (the count a back edge shows).
// Each record's code begins at its Entry offset and counts what the fast loop counts for it,
// there and then: a run entered at any record finds the count it would have in the fast loop.
// The pages come first: they outlive the code generator that takes its buffer from them.
struct TCodePagesFirst {
    TCodePages Pages;
};

// Asked once: in a virtual machine each question to the processor costs a trip to its host.
bool HasAvx2() {
    static const bool has = Xbyak::util::Cpu().has(Xbyak::util::Cpu::tAVX2);
    return has;
}

// The passes of a walk whose code follows one another before the jump back (see Linear).
constexpr uint32_t WalkCopies = 4;

class TGenerator : private TCodePagesFirst, public Xbyak::CodeGenerator {
public:
    // steady: the memo loops' blocks (NoteSteadyPasses), in the order of program.Memos.
    TGenerator(const TFastProgram& program, unsigned cellBits, uint32_t tapeSize, const TNativeHelpers& helpers,
               uint64_t* steady, bool watched, TLoopMemos* loops)
        : CodeGenerator(4096 + (watched ? 80 : 48) * program.Ops.size(), Xbyak::AutoGrow, &Pages), Program(program),
          Helpers(helpers), Wide(cellBits == 16), Scale(cellBits == 16 ? 2 : 1), Mask(tapeSize - 1),
          Top((1u << cellBits) - 1), Watched(watched), DataCell(r12 + r13 * Scale), Loops(loops) {
        for (const TMemoLoop& memo : program.Memos) {
            Steady.push_back(steady);
            steady += SteadySlots(memo);
        }
    }

    // The code's entry offsets by record; false when a record's operands leave the code's range.
    bool Build(std::vector<uint32_t>& entry) {
        const std::vector<TFastOp>& ops = Program.Ops;
        entry.assign(ops.size(), UINT32_MAX);
        // Room for about as many jumps as records at once: a vector grown by doubling leaves its
        // smaller copies behind, and each page first written costs a fault.
        Fixups.reserve(ops.size());
        Prologue();
        // The records between a closed-form loop or a scan and where it goes on (its copy
        // without the move made first and its stepped form) run only where the fast loop enters
        // there or the loop never ends: a closed form or a scan goes straight on into the code
        // that follows it, and they have no code of their own (the fast loop runs them, as it
        // runs a record left to it), but in watched code, where they come after all the others.
        // Two fifths to a half of a program's records are such, and the code is made in a sixth
        // to a third less time without them.
        std::vector<int32_t> inside(ops.size() + 1, 0);
        for (size_t k = 0; k < ops.size(); ++k) {
            const TFastOp& op = ops[k];
            const bool stepped = op.Code == fastLinear || op.Code == fastLinearWalk || op.Code == fastScanRight ||
                                 op.Code == fastScanLeft;
            if (stepped && op.Jump > k + 1 && op.Jump <= ops.size()) {
                ++inside[k + 1];
                --inside[op.Jump];
            }
        }
        std::vector<uint32_t> order, cold;
        for (uint32_t k = 0, depth = 0; k < ops.size(); ++k) {
            depth += static_cast<uint32_t>(inside[k]);
            if (!Compiled(k)) continue;
            if (depth == 0) order.push_back(k);
            else if (Watched) cold.push_back(k);
        }
        order.insert(order.end(), cold.begin(), cold.end());
        for (size_t i = 0; i < order.size(); ++i) {
            const uint32_t k = order[i];
            Following = i + 1 < order.size() ? order[i + 1] : UINT32_MAX;
            // A straight record that the one before falls into, with its move and count left
            // pending, goes on from there and has no entry: the fast loop runs it where it
            // comes to it (as where a jump leads there, which the fast form's jumps, to
            // brackets, scans and the records past loops, do not), and native code from the
            // next record with one.
            const bool joins = Pending && (Straight(k) || EndsRun(k));
            Pending = false;
            if (!joins) {
                Settle();
                entry[k] = static_cast<uint32_t>(getSize());
                PlanHeld(order, i);
            }
            if (Watched) WatchTest(k);
            if (!Record(k)) return false;
        }
        for (const auto& [at, back] : Wraps) {
            Here(at);
            and_(r13d, Mask);
            JumpBack(back);
        }
        for (const TLoopMemoCall& call : LoopMemoCalls) LoopMemoCall(call);
        std::vector<size_t> searches(2 * 33, SIZE_MAX);
        for (const auto& [at, search] : VectorCalls) {
            if (searches[search] == SIZE_MAX) {
                searches[search] = getSize();
                VectorSearch(search / 2, search % 2 != 0);
            }
            Patch(at, searches[search]);
        }
        // The ways out: one stub per record left to the fast form and per attention exit.
        constexpr uint32_t None = UINT32_MAX;
        std::vector<uint32_t> exits(ops.size(), None), attentions(ops.size(), None);
        for (const TFixup& f : Fixups) {
            if (f.Attention || f.Leave || entry[f.Record] == UINT32_MAX) {
                auto& stubs = f.Attention ? attentions : exits;
                if (stubs[f.Record] == None) {
                    stubs[f.Record] = static_cast<uint32_t>(getSize());
                    mov(dword[rbx + offsetof(TNativeFrame, Record)], f.Record);
                    mov(eax, static_cast<uint32_t>(f.Attention ? TNativeExit::Attention : TNativeExit::Record));
                    JumpBack(ExitAt);
                }
            }
        }
        for (const TFixup& f : Fixups) {
            const size_t to = f.Attention                                ? attentions[f.Record]
                              : f.Leave || entry[f.Record] == UINT32_MAX ? exits[f.Record]
                                                                          : entry[f.Record];
            Patch(f.At, to);
        }
        return true;
    }

private:
    struct TFixup {
        size_t At;        // a rel32 field
        uint32_t Record;  // the record it leads to
        bool Attention;   // to the record's attention exit rather than to its code
        bool Leave = false;  // to the record's exit to the fast loop, though it has code
    };
    enum : uint8_t {
        Always = 0xFF,
        Below = 0x2,
        AboveEqual = 0x3,
        Equal = 0x4,
        NotEqual = 0x5,
        Above = 0x7,
        Sign = 0x8,
        NotSign = 0x9
    };

    static bool HasCode(TFastCode code) {
        switch (code) {
        case fastAdd:
        case fastClear:
        case fastClearUp:
        case fastMove:
        case fastOpen:
        case fastClose:
        case fastMemoOpen:
        case fastMemoClose:
        case fastLinear:
        case fastLinearWalk:
        case fastScanRight:
        case fastScanLeft:
        case fastOutput:
        case fastInput: return true;
        default: return false;
        }
    }
    bool Compiled(uint32_t k) const { return k < Program.Ops.size() && HasCode(Program.Ops[k].Code); }

    void Prologue() {
        push(rbx);
        push(rbp);
        push(r12);
        push(r13);
        push(r14);
        push(r15);
        sub(rsp, 8);  // calls find the stack aligned to 16
        mov(rbx, rdi);
        mov(r12, ptr[rbx + offsetof(TNativeFrame, Tape)]);
        mov(r14, ptr[rbx + offsetof(TNativeFrame, Executed)]);
        mov(r15, ptr[rbx + offsetof(TNativeFrame, AttentionAt)]);
        mov(rbp, ptr[rbx + offsetof(TNativeFrame, Shown)]);
        mov(r13d, dword[rbx + offsetof(TNativeFrame, DataPtr)]);
        jmp(rsi);
        ExitAt = getSize();
        mov(dword[rbx + offsetof(TNativeFrame, DataPtr)], r13d);
        mov(ptr[rbx + offsetof(TNativeFrame, Executed)], r14);
        add(rsp, 8);
        pop(r15);
        pop(r14);
        pop(r13);
        pop(r12);
        pop(rbp);
        pop(rbx);
        ret();
    }

    // ---- Jumps: rel32 fields resolved once every record has its offset ----
    size_t Branch(uint8_t cc) {
        if (cc == Always) {
            db(0xE9);
        } else {
            db(0x0F);
            db(0x80 | cc);
        }
        const size_t at = getSize();
        dd(0);
        return at;
    }
    void Patch(size_t at, size_t to) {
        rewrite(at, static_cast<uint32_t>(static_cast<int64_t>(to) - static_cast<int64_t>(at + 4)), 4);
    }
    void JumpTo(uint32_t record, uint8_t cc = Always) { Fixups.push_back({Branch(cc), record, false}); }
    void AttentionExit(uint32_t record, uint8_t cc = AboveEqual) { Fixups.push_back({Branch(cc), record, true}); }
    void JumpBack(size_t to, uint8_t cc = Always) { Patch(Branch(cc), to); }
    void Leave(uint32_t record, uint8_t cc) { Fixups.push_back({Branch(cc), record, false, true}); }

    // Watched: leaves at record k when the cells its reach covers, ReachSpan from dp + ReachLo
    // round the tape, hold a watched one (the fast loop's test: two entries of WatchSums).
    void WatchTest(uint32_t k) {
        const TFastOp& op = Program.Ops[k];
        if (op.ReachSpan == 0) return;
        lea(eax, ptr[r13 + static_cast<int32_t>(static_cast<uint32_t>(op.ReachLo) & Mask)]);
        and_(eax, Mask);
        mov(rdx, ptr[rbx + offsetof(TNativeFrame, WatchSums)]);
        mov(ecx, dword[rdx + rax * 4 + static_cast<int32_t>(4 * op.ReachSpan)]);
        cmp(ecx, dword[rdx + rax * 4]);
        Leave(k, NotEqual);
    }
    void Here(size_t at) { Patch(at, getSize()); }
    // The record that follows in the code, or a jump to record when it does not.
    void GoOn(uint32_t record) {
        if (record != Following) JumpTo(record);
    }

    // ---- Straight runs: Add, Clear, Move and branchless Linear records in a row ----
    // Within such a run the moves and the counts that do not depend on a cell are added up as
    // the code is made and made once, where the run ends (Settle): the cells are reached at
    // offsets from the pointer as it was. A record of the run has no entry but the first.
    bool Straight(uint32_t k) const {
        if (Watched || k >= Program.Ops.size()) return false;
        const TFastOp& op = Program.Ops[k];
        switch (op.Code) {
        case fastAdd:
        case fastClear:
        case fastClearUp:
        case fastMove: return true;
        case fastLinear: return StraightLinear(k);
        default: return false;
        }
    }
    // A bracket or scan, which makes its move first (Pre) with a run's pending one: it may end a
    // straight run.
    bool EndsRun(uint32_t k) const {
        if (Watched || k >= Program.Ops.size()) return false;
        switch (Program.Ops[k].Code) {
        case fastOpen:
        case fastClose:
        case fastMemoOpen:
        case fastMemoClose:
        case fastScanRight:
        case fastScanLeft: return true;
        default: return false;
        }
    }
    // A Linear record whose counter steps by 1 or -1 and whose terms only add: no branch.
    bool StraightLinear(uint32_t k) const {
        const TFastOp& op = Program.Ops[k];
        const uint32_t d = static_cast<uint32_t>(op.Delta) & Top;
        if (d != 1 && d != Top) return false;
        for (uint32_t t = 1; t <= op.Off; ++t)
            if (Program.Ops[k + t].Code != fastTerm) return false;
        return true;
    }
    void Defer(uint64_t commands, uint32_t move) {
        DeferredCount += commands;
        DeferredMove = (DeferredMove + move) & Mask;
    }
    // The pending move and count made.
    void Settle() {
        Flush();
        Count(DeferredCount);
        MovePointer(DeferredMove);
        DeferredCount = 0;
        DeferredMove = 0;
    }
    // The end of a straight record: on into record with the move and count pending where it
    // comes next, else both made and a jump there.
    void GoOnStraight(uint32_t record) {
        if (record == Following) {
            Pending = true;
        } else {
            Settle();
            JumpTo(record);
        }
    }

    // ---- Held cells: the cells a straight run reaches more than once stay in registers ----
    // A cell's register holds its value zero-extended (it is loaded so and changed at its cell's
    // width only) from the run's first use of the cell to the end of the run, where those
    // changed are stored (Flush): the run's records and the test that ends it do not wait on
    // stores of their own. Offsets are from the pointer where the run began.
    static constexpr int HeldRegisters = 6;
    struct THeld {
        uint32_t Off = 0;
        bool Loaded = false;
        bool Dirty = false;
    };
    // The cells from order[i]'s run reached more than once, up to HeldRegisters of them: by its
    // straight records and by the bracket that may end it (see GoOnStraight, EndsRun).
    void PlanHeld(const std::vector<uint32_t>& order, size_t i) {
        Planned = 0;
        std::vector<std::pair<uint32_t, uint32_t>>& uses = Uses;
        uses.clear();
        const auto use = [&uses](uint32_t off) {
            for (auto& [o, n] : uses)
                if (o == off) return void(++n);
            uses.emplace_back(off, 1);
        };
        uint32_t move = 0;
        for (size_t j = i; j < order.size(); ++j) {
            const uint32_t k = order[j];
            const TFastOp& op = Program.Ops[k];
            if (!Straight(k)) {
                // A bracket tests its cell in the register (TestCurrent). A scan reads memory: a
                // cell held for it alone made a 16-bit program's hottest loop 1.4 times slower
                // than the cell changed in place.
                const bool bracket = op.Code != fastScanRight && op.Code != fastScanLeft;
                if (j > i && EndsRun(k) && bracket) use((move + op.Pre) & Mask);
                break;
            }
            uint32_t next = k + 1;
            switch (op.Code) {
            case fastAdd:
            case fastClear:
            case fastClearUp: use((move + op.Off) & Mask); break;
            case fastMove: move = (move + op.Off) & Mask; break;
            default:  // a straight Linear record
                use((move + op.Pre) & Mask);
                for (uint32_t t = 1; t <= op.Off; ++t) use((move + op.Pre + Program.Ops[k + t].Off) & Mask);
                move = (move + op.Pre) & Mask;
                next = op.Jump;
                break;
            }
            if (j + 1 >= order.size() || order[j + 1] != next) break;
        }
        for (const auto& [off, n] : uses) {
            if (n < 2 || Planned == HeldRegisters) continue;
            Held[Planned++] = {off, false, false};
        }
    }
    // The register slot planned for the cell at off (and the pending move), loaded at its first
    // use; -1 for a cell not held.
    int Hold(uint32_t off) {
        const int h = HeldAt((DeferredMove + off) & Mask);
        if (h >= 0 && !Held[h].Loaded) {
            movzx(HeldValue(h), At(off));
            Held[h].Loaded = true;
        }
        return h;
    }
    int HeldAt(uint32_t off) const {
        for (int h = 0; h < Planned; ++h)
            if (Held[h].Off == off) return h;
        return -1;
    }
    Xbyak::Reg32 HeldValue(int h) const {
        static const Xbyak::Reg32 regs[HeldRegisters] = {Xbyak::util::r8d,  Xbyak::util::r9d, Xbyak::util::r10d,
                                                         Xbyak::util::r11d, Xbyak::util::esi, Xbyak::util::edi};
        return regs[h];
    }
    // The register at the cell's width.
    Xbyak::Reg HeldCell(int h) const {
        if (Wide) return HeldValue(h).cvt16();
        return HeldValue(h).cvt8();
    }
    // The held cells the run changed stored, and none held from here on.
    void Flush() {
        for (int h = 0; h < Planned; ++h) {
            const int32_t at = static_cast<int32_t>(Held[h].Off * static_cast<uint32_t>(Scale));
            if (Held[h].Dirty) mov(Cell(DataCell + at), HeldCell(h));
        }
        Planned = 0;
    }
    // The current cell against 0 after Pre: from its register where the run held it.
    void TestCurrent() {
        if (TestHeld >= 0 && Held[TestHeld].Loaded) test(HeldValue(TestHeld), HeldValue(TestHeld));
        else cmp(Current(), 0);
        TestHeld = -1;
    }

    // ---- The machine ----
    Xbyak::Address Cell(const Xbyak::RegExp& at) { return Wide ? word[at] : byte[at]; }
    Xbyak::Address Current() { return At(0); }
    // The cell at dp + off (and the pending move): off below the tape's size, on the tape's
    // second mapping where the sum passes its end.
    Xbyak::Address At(uint32_t off) {
        return Cell(DataCell + static_cast<int32_t>(((DeferredMove + off) & Mask) * static_cast<uint32_t>(Scale)));
    }
    uint32_t CellImm(int32_t delta) const {
        return Wide ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(delta)))
                    : static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(delta)));
    }
    void Count(uint64_t commands) {
        if (commands == 0) return;
        if (commands <= INT32_MAX) {
            add(r14, static_cast<uint32_t>(commands));
        } else {
            mov(rax, commands);
            add(r14, rax);
        }
    }
    // A move by less than half the tape either way, wrapped only where it passes an end of the
    // tape (out of line): the pointer waits for an add alone.
    void MovePointer(uint32_t move) {
        move &= Mask;
        if (move == 0) return;
        if (move <= Mask / 2) add(r13d, move);
        else sub(r13d, Mask + 1 - move);
        cmp(r13d, Mask);
        const size_t wraps = Branch(Above);
        Wraps.emplace_back(wraps, getSize());
    }
    // The move a loop record may make first, counted with what the record counts itself.
    // A straight run's pending move and count go with it (see Straight).
    void Pre(const TFastOp& op, uint64_t commands) {
        TestHeld = HeldAt((DeferredMove + op.Pre) & Mask);
        Flush();
        Count(DeferredCount + op.PreExec + commands);
        MovePointer(DeferredMove + op.Pre);
        DeferredCount = 0;
        DeferredMove = 0;
    }
    // to = n * k (as much of it as a cell holds): lea for the small factors, a shorter wait
    // where a walk's passes hand cells on to each other.
    void Times(const Xbyak::Reg32& to, const Xbyak::Reg32& n, uint32_t k) {
        const uint32_t low = k & Top;
        if (low == 2 || low == 4 || low == 8) {
            lea(to, ptr[n * static_cast<int>(low)]);
        } else if (low == 3 || low == 5 || low == 9) {
            lea(to, ptr[n + n * static_cast<int>(low - 1)]);
        } else {
            imul(to, n, k);
        }
    }
    void CallHelper(const void* fn) {
        mov(rax, reinterpret_cast<uint64_t>(fn));
        call(rax);
    }

    bool Record(uint32_t k) {
        const TFastOp& op = Program.Ops[k];
        switch (op.Code) {
        case fastAdd:
            if (const int h = Hold(op.Off); h >= 0) {
                add(HeldCell(h), CellImm(op.Delta));
                Held[h].Dirty = true;
            } else {
                add(At(op.Off), CellImm(op.Delta));
            }
            Defer(op.Exec, 0);
            GoOnStraight(k + 1);
            return true;
        case fastClear:
        case fastClearUp: {
            const int h = Hold(op.Off);
            if (h >= 0) {
                mov(ecx, HeldValue(h));
                xor_(HeldValue(h), HeldValue(h));
                Held[h].Dirty = true;
            } else {
                const Xbyak::Address c = At(op.Off);
                movzx(ecx, c);
                mov(c, 0);
            }
            if (op.Code == fastClear) {
                lea(r14, ptr[r14 + rcx * 2]);
            } else {
                // Round the top to 0: 2 (values - c), nothing for a cell at 0.
                mov(edx, Top + 1);
                sub(edx, ecx);
                add(edx, edx);
                test(ecx, ecx);
                cmovz(edx, ecx);
                add(r14, rdx);
            }
            Defer(op.Exec, 0);
            GoOnStraight(k + 1);
            return true;
        }
        case fastMove:
            Defer(op.Exec, op.Off);
            GoOnStraight(k + 1);
            return true;
        case fastOutput:
        case fastInput:
            InputOutput(k, op);
            return true;
        case fastOpen:
        case fastMemoOpen:
            Pre(op, 1);
            TestCurrent();
            JumpTo(op.Jump, Equal);
            LoopMemo(k, op);
            if (op.Code == fastMemoOpen) {
                SteadyPasses(k, op);
                const size_t plain = ShortcutOff(op);
                Memo(op, Helpers.MemoEnter);
                JumpTo(op.Jump, NotEqual);
                if (plain != SIZE_MAX) Here(plain);
            }
            GoOn(k + op.Next);
            return true;
        case fastClose:
        case fastMemoClose:
            Pre(op, 1);
            TestCurrent();
            JumpTo(k + op.Next, Equal);
            if (op.Code == fastMemoClose) {
                const size_t plain = ShortcutOff(op);
                Memo(op, Helpers.MemoBackEdge);
                JumpTo(k + op.Next, NotEqual);
                if (plain != SIZE_MAX) Here(plain);
            }
            BackEdge(op.Jump, op.Jump);
            return true;
        case fastLinear:
            return Linear(k, SIZE_MAX);
        case fastLinearWalk:
            // Watched, a walk that makes a move first runs one pass as its Linear record, the
            // fast loop's watched form.
            return Linear(k, Watched && op.Next == 2 ? SIZE_MAX : getSize());
        case fastScanRight:
        case fastScanLeft:
            if (op.Exec > INT32_MAX / 8 || op.Off > INT32_MAX) return false;
            Scan(k, op);
            return true;
        default:
            return false;
        }
    }

    // A memo loop whose shortcut is off (NoteMemoTried) runs as a plain loop: the jump there,
    // to be placed (SIZE_MAX in watched code, which leaves memo loops part way and so keeps them
    // as they are).
    size_t ShortcutOff(const TFastOp& op) {
        if (Watched) return SIZE_MAX;
        mov(rax, reinterpret_cast<uint64_t>(Steady[op.Off] + SteadySlots(Program.Memos[op.Off]) - 1));
        cmp(byte[rax], 0);
        return Branch(NotEqual);
    }

    // A memo loop record's own work (helper): al tells whether the loop's passes were done.
    void Memo(const TFastOp& op, bool (*helper)(TMemoLoop*, void*, uint32_t, uint64_t*, uint64_t*)) {
        mov(ptr[rbx + offsetof(TNativeFrame, Executed)], r14);
        mov(rdi, reinterpret_cast<uint64_t>(&Program.Memos[op.Off]));
        mov(rsi, r12);
        mov(edx, r13d);
        lea(rcx, ptr[rbx + offsetof(TNativeFrame, Executed)]);
        mov(r8, reinterpret_cast<uint64_t>(Steady[op.Off]));
        CallHelper(reinterpret_cast<const void*>(helper));
        mov(r14, ptr[rbx + offsetof(TNativeFrame, Executed)]);
        test(al, al);
    }

    struct TLoopMemoCall {
        size_t Branch;  // the branch to the call
        size_t Back;    // where the loop's own code goes on
        uint32_t Loop;  // its TLoopMemo
        uint32_t Past;  // the record past the loop
    };

    // A loop that may be done at once from a kept run (cel_LoopMemo.h), entered with a nonzero
    // cell: unless the loop's switch is off, the engine's LoopMemoEnter, and on past the loop
    // where it did the loop; else on into the loop.
    void LoopMemo(uint32_t k, const TFastOp& op) {
        if (Watched || Loops == nullptr || Helpers.LoopMemo == nullptr) return;
        const uint32_t folded =
            op.Next == 2 && k + 1 < Program.Ops.size() ? Program.Ops[k + 1].Folded : op.Folded;
        if (folded >= Loops->Code.size() || Loops->Code[folded].Op != opLoopStart) return;
        const uint32_t m = Loops->Code[folded].Origin;
        if (m == LoopMemoNone) return;
        if (Loops->Loops[m].Step != 0) return;
        mov(rax, reinterpret_cast<uint64_t>(&Loops->Loops[m].Off));
        cmp(byte[rax], 0);
        LoopMemoCalls.push_back({Branch(Equal), getSize(), m, op.Jump});
    }
    // The call of a LoopMemo, out of line: back where it branched off when the loop was not
    // done, else on past the loop.
    void LoopMemoCall(const TLoopMemoCall& at) {
        Here(at.Branch);
        mov(ptr[rbx + offsetof(TNativeFrame, Executed)], r14);
        mov(rdi, reinterpret_cast<uint64_t>(Loops));
        mov(esi, at.Loop);
        mov(rdx, r12);
        mov(ecx, r13d);
        lea(r8, ptr[rbx + offsetof(TNativeFrame, Executed)]);
        mov(r9, r15);
        CallHelper(reinterpret_cast<const void*>(Helpers.LoopMemo));
        mov(r14, ptr[rbx + offsetof(TNativeFrame, Executed)]);
        cmp(eax, LoopMemoMissed);
        JumpBack(at.Back, Equal);
        mov(r13d, eax);
        JumpTo(at.Past);
    }

    // A memo loop entered with a nonzero counter whose step is 1 or -1 and work cells as its
    // block holds them: all its passes at once, as MemoEnter makes them (the loop's constant
    // changes n times, the counter cleared, n passes counted), and on past the loop. Else on to
    // the code that follows.
    // Where the loop is all of a walk's pass but the moves (its record k makes the walk's move
    // first, and the Close it goes on at jumps back to k), the walk's Close follows here, then the
    // next pass up to its steady passes, for as long as they are steady: a walk of memo loops runs
    // without a jump between records. Where the constant that a pass changes is the counter of the
    // next, it is kept in r10 as well, and the next pass takes it from there, not from memory.
    void SteadyPasses(uint32_t k, const TFastOp& op) {
        const TMemoLoop& memo = Program.Memos[op.Off];
        const uint32_t d = static_cast<uint32_t>(memo.Counter) & Top;
        if (d != 1 && d != Top) return;
        const uint32_t c = op.Jump;
        const bool walks = !Watched && c < Program.Ops.size() && Program.Ops[c].Code == fastClose &&
                           Program.Ops[c].Jump == k;
        const uint32_t step = walks ? (Program.Ops[c].Pre + op.Pre) & Mask : 0;
        size_t forward = SIZE_MAX;  // the constant the next pass counts down
        for (size_t i = 0; walks && i < memo.Constant.size(); ++i) {
            const auto& [off, change] = memo.Constant[i];
            if (((off - step) & Mask) == 0 && (static_cast<uint32_t>(change) & Top) != 0) forward = i;
        }
        std::vector<size_t> misses;
        mov(rax, reinterpret_cast<uint64_t>(Steady[op.Off]));
        mov(rdx, ptr[rax]);
        test(rdx, rdx);
        misses.push_back(Branch(Equal));
        WorkCellsHold(memo, misses);
        const size_t pass = getSize();
        SteadyPass(memo, d, false, forward);
        if (!walks) {
            JumpTo(op.Jump);
        } else if (forward == SIZE_MAX) {
            // The walk: each pass as the first, its counter from memory.
            Patch(WalkOn(k, op, false, misses), pass);
        } else {
            // The walk: the first pass above, then each of the others with its counter in r10.
            const size_t next = WalkOn(k, op, true, misses);
            const size_t kept = getSize();
            SteadyPass(memo, d, true, forward);
            Patch(WalkOn(k, op, true, misses), kept);
            Patch(next, kept);
        }
        for (const size_t miss : misses) Here(miss);
    }
    // The memo loop's work cells against its block (rax): a miss goes on to the engine's call.
    void WorkCellsHold(const TMemoLoop& memo, std::vector<size_t>& misses) {
        for (size_t k = 0; k < memo.Work.size(); ++k) {
            movzx(ecx, At(memo.Work[k]));
            cmp(rcx, ptr[rax + static_cast<int32_t>(8 * (k + 1))]);
            misses.push_back(Branch(NotEqual));
        }
    }
    // A steady memo loop's passes at once, its pass cost in rdx and its block in rax (kept): the
    // counter from r10 where kept, the constant forward (an index, or SIZE_MAX) left in r10.
    void SteadyPass(const TMemoLoop& memo, uint32_t d, bool kept, size_t forward) {
        const Xbyak::Reg& low = Wide ? static_cast<const Xbyak::Reg&>(r10w) : r10b;
        // ecx: the trip count n.
        if (kept) {
            movzx(ecx, low);
        } else {
            movzx(ecx, Current());
        }
        if (d == 1) {
            neg(ecx);
            add(ecx, Top + 1);
        }
        imul(rdx, rcx);
        add(r14, rdx);
        const Xbyak::Reg& n = Wide ? static_cast<const Xbyak::Reg&>(cx) : cl;
        for (size_t i = 0; i < memo.Constant.size(); ++i) {
            const auto& [off, change] = memo.Constant[i];
            const Xbyak::Address c = At(off);
            const uint32_t delta = static_cast<uint32_t>(change) & Top;
            if (delta == 0) continue;
            if (i == forward) {
                movzx(r10d, c);
                if (delta == 1) {
                    add(r10d, ecx);
                } else if (delta == Top) {
                    sub(r10d, ecx);
                } else {
                    Times(edx, ecx, CellImm(change));
                    add(r10d, edx);
                }
                mov(c, low);
            } else if (delta == 1) {
                add(c, n);
            } else if (delta == Top) {
                sub(c, n);
            } else {
                Times(edx, ecx, CellImm(change));
                add(c, Wide ? static_cast<const Xbyak::Reg&>(dx) : dl);
            }
        }
        mov(Current(), 0);
    }
    // After a steady pass of a walk's memo loop (record k): the walk's Close as its own code
    // makes it, then the next pass's move and checks as record k makes them, up to its steady
    // passes; the jump there (rel32, to be placed) is returned. The counter is tested in r10
    // where kept.
    size_t WalkOn(uint32_t k, const TFastOp& op, bool kept, std::vector<size_t>& misses) {
        const uint32_t c = op.Jump;
        const TFastOp& close = Program.Ops[c];
        const TMemoLoop& memo = Program.Memos[op.Off];
        // The Close tests its cell before its move, which is made with the next pass's: one
        // move a pass, made apart where the walk ends or leaves.
        Count(static_cast<uint64_t>(close.PreExec) + 1);
        cmp(At(close.Pre), 0);
        const size_t ends = Branch(Equal);
        mov(ptr[rbp], r14);
        cmp(r14, ptr[r15]);
        const size_t due = Branch(AboveEqual);
        Count(static_cast<uint64_t>(op.PreExec) + 1);
        MovePointer(close.Pre + op.Pre);
        if (kept) {
            if (Wide) test(r10w, r10w);
            else test(r10b, r10b);
        } else {
            cmp(Current(), 0);
        }
        JumpTo(c, Equal);
        // The shortcut and the pass cost stand as they were: only the engine's calls change them.
        mov(rdx, ptr[rax]);
        WorkCellsHold(memo, misses);
        const size_t more = Branch(Always);
        Here(ends);
        MovePointer(close.Pre);
        JumpTo(c + close.Next);
        Here(due);
        MovePointer(close.Pre);
        AttentionExit(k, Always);
        return more;
    }

    // '.' or ',' by the engine, the state spilled as of the record: the run leaves before it where
    // the engine says (the fast loop then runs it), or after an abandoned wait for input, as the
    // fast loop does; else the attention check follows, as after the fast loop's (but before
    // the end).
    void InputOutput(uint32_t k, const TFastOp& op) {
        mov(rdi, ptr[rbx + offsetof(TNativeFrame, Engine)]);
        mov(esi, op.Folded);
        mov(edx, r13d);
        mov(rcx, r14);
        CallHelper(reinterpret_cast<const void*>(op.Code == fastOutput ? Helpers.Output : Helpers.Input));
        test(eax, eax);
        const size_t done = Branch(Equal);
        if (op.Code == fastInput) {
            cmp(eax, NativeIOAbandoned);
            const size_t other = Branch(NotEqual);
            inc(r14);
            mov(eax, static_cast<uint32_t>(TNativeExit::Attention));
            Here(other);
        }
        mov(dword[rbx + offsetof(TNativeFrame, Record)], k);
        JumpBack(ExitAt);
        Here(done);
        inc(r14);
        if (Program.Ops[k + 1].Code != fastEnd) {
            cmp(r14, ptr[r15]);
            AttentionExit(k + 1);
        }
        GoOn(k + 1);
    }

    // A back edge to record to: the count shown, then the attention check, which leaves at
    // record exitAt (the fast loop does not check before its end record). The jump back is the
    // check's own branch, taken while no attention is due.
    void BackEdge(uint32_t to, uint32_t exitAt) {
        mov(ptr[rbp], r14);
        if (Program.Ops[exitAt].Code != fastEnd) {
            cmp(r14, ptr[r15]);
            JumpTo(to, Below);
            AttentionExit(exitAt, Always);
        } else {
            JumpTo(to);
        }
    }

    // A Linear record; for a LinearWalk (top: its own offset) the passes of the outer loop too.
    // The move the record makes first (Pre) is made once a pass is done, with the Close's: the
    // pass reaches its cells at offsets from the pointer before it.
    bool Linear(uint32_t k, size_t top) {
        const TFastOp& op = Program.Ops[k];
        if (op.Exec > INT32_MAX) return false;
        const bool walk = top != SIZE_MAX;
        const uint32_t pre = op.Pre & Mask;
        const Xbyak::Address counter = At(pre);
        const int held = walk ? -1 : Hold(pre);
        const uint32_t d = static_cast<uint32_t>(op.Delta) & Top;
        bool clears = false;
        for (uint32_t t = 1; t <= op.Off; ++t) clears |= Program.Ops[k + t].Code != fastTerm;
        // A counter stepping by 1 or -1 whose terms only add: no branch, as a counter at 0 makes
        // n 0 (nothing added, nothing counted, the cleared counter as it was). The branch it saves
        // goes either way at random in walks over the tape.
        const bool straight = !clears && (d == Top || d == 1);
        size_t zero = SIZE_MAX;
        if (straight) {
            // ecx: the trip count n.
            if (held >= 0) mov(ecx, HeldValue(held));
            else movzx(ecx, counter);
            if (d == 1) {
                neg(ecx);
                and_(ecx, Top);
            }
        } else {
            movzx(eax, counter);
            test(eax, eax);
            zero = Branch(Equal);
            if (d == Top) {
                mov(ecx, eax);
            } else if (d == 1) {
                mov(ecx, Top + 1);
                sub(ecx, eax);
            } else {
                mov(edi, eax);
                mov(esi, d);
                CallHelper(reinterpret_cast<const void*>(Helpers.TripCount));
                test(rax, rax);
                const size_t ends = Branch(NotSign);
                // It never ends: its stepped form, left to the fast loop, from past the move.
                Pre(op, 0);
                JumpTo(k + op.Off + 1);
                Here(ends);
                mov(ecx, eax);
            }
        }
        // A walk's straight pass counts its passes' commands with the Close's, at the end (fold).
        const TFastOp& close = Program.Ops[walk ? op.Jump : k];
        const uint64_t closing = static_cast<uint64_t>(op.PreExec) + 1 + close.PreExec + 1;
        const bool fold = walk && !Watched && zero == SIZE_MAX && !clears && closing <= INT32_MAX;
        if (fold) {
            imul(rax, rcx, static_cast<uint32_t>(op.Exec));
        } else {
            imul(rdx, rcx, static_cast<uint32_t>(op.Exec));
            add(r14, rdx);
        }
        if (clears) {
            mov(r8d, ecx);
            mov(rdi, r12);
            mov(esi, Mask);
            lea(edx, ptr[r13 + static_cast<int32_t>(pre)]);
            and_(edx, Mask);
            mov(rcx, reinterpret_cast<uint64_t>(&op));
            CallHelper(reinterpret_cast<const void*>(Helpers.LinearTerms));
            add(r14, rax);
        } else {
            for (uint32_t t = 1; t <= op.Off; ++t) {
                const TFastOp& term = Program.Ops[k + t];
                const uint32_t delta = static_cast<uint32_t>(term.Delta) & Top;
                // n times a step of 1 or -1 is n itself, added or taken.
                const Xbyak::Reg& n = Wide ? static_cast<const Xbyak::Reg&>(cx) : cl;
                const Xbyak::Reg& times = Wide ? static_cast<const Xbyak::Reg&>(dx) : dl;
                if (delta != 1 && delta != Top) Times(edx, ecx, CellImm(term.Delta));
                const Xbyak::Reg& by = delta == 1 || delta == Top ? n : times;
                if (const int h = walk ? -1 : Hold(pre + term.Off); h >= 0) {
                    if (delta == Top) sub(HeldCell(h), by);
                    else add(HeldCell(h), by);
                    Held[h].Dirty = true;
                } else {
                    const Xbyak::Address c = At(pre + term.Off);
                    if (delta == Top) sub(c, by);
                    else add(c, by);
                }
            }
        }
        if (held >= 0) {
            xor_(HeldValue(held), HeldValue(held));
            Held[held].Dirty = true;
        } else {
            mov(counter, 0);
        }
        if (zero != SIZE_MAX) Here(zero);
        // Either way its check of the counter: 1.
        if (!walk) {
            if (Straight(k)) {
                Defer(static_cast<uint64_t>(op.PreExec) + 1, op.Pre);
                GoOnStraight(op.Jump);
            } else {
                Pre(op, 1);
                GoOn(op.Jump);
            }
            return true;
        }
        // The outer loop's Close, as f_Close makes it, with the attention check at this record.
        if (fold) {
            lea(r14, ptr[r14 + rax + static_cast<int32_t>(closing)]);
            MovePointer(op.Pre + close.Pre);
        } else if (Watched) {
            // The Close's reach from where the walk's move leaves the pointer, and the walk's
            // own at the next pass, as the fast loop tests them.
            Count(static_cast<uint64_t>(op.PreExec) + 1);
            MovePointer(op.Pre);
            WatchTest(op.Jump);
            Count(static_cast<uint64_t>(close.PreExec) + 1);
            MovePointer(close.Pre);
        } else {
            Count(closing);
            MovePointer(op.Pre + close.Pre);
        }
        cmp(Current(), 0);
        JumpTo(op.Jump + close.Next, Equal);
        mov(ptr[rbp], r14);
        cmp(r14, ptr[r15]);
        if (Watched) {
            AttentionExit(k);
            WatchTest(k);
            JumpBack(top);
        } else if (fold && WalkCopy + 1 < WalkCopies) {
            // The next pass follows in a copy of its own, up to WalkCopies passes a jump back.
            // Each pass still checks; the loop's shape alone makes walks faster (Mandelbrot.b in
            // all: 0.47 s instead of 0.55 s).
            AttentionExit(k);
            ++WalkCopy;
            const bool made = Linear(k, top);
            --WalkCopy;
            return made;
        } else {
            JumpBack(top, Below);
            AttentionExit(k, Always);
        }
        return true;
    }

    // A scan: its passes that stay short of the tape's end (or start) here, and the search as a
    // whole by the engine (ScanPasses) when they meet no zero. With no zero on its way round
    // the tape the pointer and count stay as the move before it left them and the stepped form
    // that follows runs.
    void Scan(uint32_t k, const TFastOp& op) {
        const bool right = op.Code == fastScanRight;
        Pre(op, 0);
        cmp(Current(), 0);
        const size_t moving = Branch(NotEqual);
        inc(r14);
        JumpTo(op.Jump);
        Here(moving);
        // The engine searches a long way faster (memchr, or sixteen 8-bit cells at a time for
        // strides up to 16), and so do 64 cells at a time (VectorScan): this code leaves them
        // the passes past the first Searched. (A wide load waits for the cells just written to
        // reach the cache, where a cell's own load has them at once: the first passes are best
        // made one by one.)
        // Those passes stay on the tape laid twice, from dp (right) or dp plus the tape's size
        // (left): no pass tests for the tape's end.
        const bool vector = VectorScans(op);
        constexpr uint32_t Searched = 32;
        const bool searches = vector || (!Wide && op.Off <= 16 && (Searched + 1) * op.Off <= Mask);
        if (searches && !Watched) {
            const size_t far = StridedScan(op, Searched);
            if (vector) {
                Here(far);
                if (right) add(ecx, op.Off);
                else sub(ecx, op.Off);
                Here(VectorScan(op));
            } else {
                Here(far);
            }
            ScanWhole(k, op);
            return;
        }
        // ecx the cell a pass reads, edx the passes.
        if (searches && !right) {
            lea(ecx, ptr[r13 + static_cast<int32_t>(Mask + 1)]);
        } else {
            mov(ecx, r13d);
        }
        xor_(edx, edx);
        const size_t pass = getSize();
        inc(edx);
        if (right) {
            add(ecx, op.Off);
        } else {
            sub(ecx, op.Off);
        }
        size_t away = SIZE_MAX, far = SIZE_MAX;
        if (searches) {
            cmp(edx, Searched);
            far = Branch(Above);
        } else {
            if (right) cmp(ecx, Mask);
            away = Branch(right ? Above : Below);
        }
        cmp(Cell(r12 + rcx * Scale), 0);
        JumpBack(pass, NotEqual);
        if (Watched) WayTest(k, op, edx);
        if (searches) and_(ecx, Mask);
        mov(r13d, ecx);
        imul(rdx, rdx, static_cast<int32_t>(op.Exec));
        lea(r14, ptr[r14 + rdx + 1]);
        JumpTo(op.Jump);
        Here(searches ? far : away);
        ScanWhole(k, op);
    }
    // Up to searched passes (a multiple of 4) of an 8-bit scan, four a turn, from a nonzero cell:
    // where one finds the zero, the pointer and count are made and the code goes on past the
    // scan; else the jump returned (rel32, to be placed) leads on with ecx the last pass's
    // cell, on the tape laid twice.
    size_t StridedScan(const TFastOp& op, uint32_t searched) {
        const bool right = op.Code == fastScanRight;
        const int32_t s = right ? static_cast<int32_t>(op.Off) : -static_cast<int32_t>(op.Off);
        // ecx: the cell of the turn's last pass made, from dp (right) or dp plus the tape's size
        // (left); r9d where the passes end.
        if (right) {
            mov(ecx, r13d);
        } else {
            lea(ecx, ptr[r13 + static_cast<int32_t>(Mask + 1)]);
        }
        lea(r9d, ptr[rcx + static_cast<int32_t>(searched) * s]);
        const size_t turn = getSize();
        size_t hits[4];
        for (int u = 0; u < 4; ++u) {
            cmp(byte[r12 + rcx + (u + 1) * s], 0);
            hits[u] = Branch(Equal);
        }
        add(ecx, 4 * s);
        cmp(ecx, r9d);
        JumpBack(turn, right ? Below : Above);
        const size_t far = Branch(Always);
        size_t found[3];
        for (int u = 0; u < 3; ++u) {
            Here(hits[u]);
            add(ecx, (u + 1) * s);
            found[u] = Branch(Always);
        }
        Here(hits[3]);
        add(ecx, 4 * s);
        for (const size_t f : found) Here(f);
        // ecx: the zero cell, d = passes * stride cells from where the scan began.
        if (right) {
            mov(eax, ecx);
            sub(eax, r13d);
        } else {
            lea(eax, ptr[r13 + static_cast<int32_t>(Mask + 1)]);
            sub(eax, ecx);
        }
        imul(eax, eax, static_cast<int32_t>((65536 + op.Off - 1) / op.Off));
        shr(eax, 16);
        and_(ecx, Mask);
        mov(r13d, ecx);
        imul(rax, rax, static_cast<int32_t>(op.Exec));
        lea(r14, ptr[r14 + rax + 1]);
        JumpTo(op.Jump);
        return far;
    }

    // The search as a whole by the engine (ScanPasses), from the pointer.
    void ScanWhole(uint32_t k, const TFastOp& op) {
        const bool right = op.Code == fastScanRight;
        mov(rdi, r12);
        mov(esi, r13d);
        mov(edx, op.Off);
        mov(ecx, right ? 1 : 0);
        CallHelper(reinterpret_cast<const void*>(Helpers.ScanPasses));
        test(rax, rax);
        JumpTo(k + 1, Sign);  // it never ends: stepped
        if (Watched) WayTest(k, op, eax);
        // dp moves by passes steps, the count by 1 + passes * passexec.
        imul(ecx, eax, static_cast<int32_t>(op.Off));
        if (right) add(r13d, ecx);
        else sub(r13d, ecx);
        and_(r13d, Mask);
        imul(rax, rax, static_cast<int32_t>(op.Exec));
        lea(r14, ptr[r14 + rax + 1]);
        GoOn(op.Jump);
    }

    // An 8-bit scan by a stride up to 32 past its first passes, with AVX2: 64 cells at a time
    // (two compares), the ones its passes read picked out of the compare's bits, for up to
    // VectorReach cells from the first pass. Where that finds the zero, the pointer and count
    // are made and the code goes on past the scan; else the jump returned (rel32, to be placed)
    // leads to the search as a whole. The search is a routine shared by the scans of a stride
    // and direction (VectorSearch), after all the records.
    static constexpr uint32_t VectorReach = 1024;
    bool VectorScans(const TFastOp& op) const {
        return Avx2 && !Wide && !Watched && op.Off != 0 && op.Off <= 32 && VectorReach + 64 + op.Off <= Mask + 1;
    }
    size_t VectorScan(const TFastOp& op) {
        const bool right = op.Code == fastScanRight;
        db(0xE8);  // call rel32
        VectorCalls.emplace_back(getSize(), op.Off * 2 + (right ? 1 : 0));
        dd(0);
        test(eax, eax);
        const size_t far = Branch(Equal);
        mov(r13d, ecx);
        imul(rax, rax, static_cast<int32_t>(op.Exec));
        lea(r14, ptr[r14 + rax + 1]);
        JumpTo(op.Jump);
        return far;
    }
    // The search of VectorScan by stride s, right or left, from Scan's loop, where ecx is the
    // cell of the first pass not made: eax its passes, ecx the zero cell; eax 0 where it is not
    // within reach. The windows stay on the tape laid twice: from dp plus the stride (right),
    // or down from dp plus the tape's size less the stride (left).
    void VectorSearch(uint32_t s, bool right) {
        const uint32_t passes = 63 / s + 1;  // the cells of a window that passes read
        uint64_t picked = 0;
        for (uint32_t j = 0; j < passes; ++j) picked |= uint64_t{1} << (right ? j * s : 63 - j * s);
        // r9d: the first pass's cell; ecx from here the window's first cell.
        if (right) {
            lea(r9d, ptr[r13 + static_cast<int32_t>(s)]);
        } else {
            lea(r9d, ptr[r13 + static_cast<int32_t>(Mask + 1 - s)]);
            sub(ecx, 63);
        }
        mov(r8, picked);
        vpxor(ymm0, ymm0, ymm0);
        const size_t window = getSize();
        vpcmpeqb(ymm1, ymm0, ptr[r12 + rcx]);
        vpcmpeqb(ymm2, ymm0, ptr[r12 + rcx + 32]);
        vpmovmskb(eax, ymm1);
        vpmovmskb(edx, ymm2);
        shl(rdx, 32);
        or_(rax, rdx);
        and_(rax, r8);
        const size_t found = Branch(NotEqual);
        if (right) {
            add(ecx, passes * s);
            mov(eax, ecx);
            sub(eax, r9d);
        } else {
            sub(ecx, passes * s);
            mov(eax, r9d);
            sub(eax, ecx);
        }
        cmp(eax, VectorReach);
        JumpBack(window, Below);
        vzeroupper();
        xor_(eax, eax);
        ret();
        Here(found);
        vzeroupper();
        // ecx: the zero cell; eax: its distance d from the first pass's cell, d / s + 1 passes
        // (d is a multiple of s below 2^16, so the product by 2^16 / s rounded up, shifted, is
        // exact).
        if (right) {
            bsf(rax, rax);
            add(ecx, eax);
            mov(eax, ecx);
            sub(eax, r9d);
        } else {
            bsr(rax, rax);
            add(ecx, eax);
            mov(eax, r9d);
            sub(eax, ecx);
        }
        imul(eax, eax, static_cast<int32_t>((65536 + s - 1) / s));
        shr(eax, 16);
        inc(eax);
        and_(ecx, Mask);
        ret();
    }

    // Watched: a scan about to make passes moves (passes > 0) from the pointer goes on in its
    // stepped form instead when its way round the tape holds a watched cell, or is the whole
    // tape, as the fast loop's scan does (before any of it is made: the pointer and the count
    // are as its move made first left them).
    void WayTest(uint32_t k, const TFastOp& op, const Xbyak::Reg32& passes) {
        imul(r10d, passes, static_cast<int32_t>(op.Off));
        cmp(r10d, Mask);
        JumpTo(k + 1, Above);
        if (op.Code == fastScanRight) {
            lea(r11d, ptr[r13 + 1]);
        } else {
            mov(r11d, r13d);
            sub(r11d, r10d);
        }
        and_(r11d, Mask);
        mov(r8, ptr[rbx + offsetof(TNativeFrame, WatchSums)]);
        lea(r9d, ptr[r11 + r10]);
        mov(r9d, dword[r8 + r9 * 4]);
        cmp(r9d, dword[r8 + r11 * 4]);
        JumpTo(k + 1, NotEqual);
    }

    const TFastProgram& Program;
    const TNativeHelpers Helpers;
    const bool Wide;
    const int Scale;
    const uint32_t Mask;
    const uint32_t Top;  // the largest cell value
    const bool Watched;
    const bool Avx2 = HasAvx2();
    const Xbyak::RegExp DataCell;  // the cell at the data pointer
    size_t ExitAt = 0;
    uint32_t Following = UINT32_MAX;  // the record whose code comes next
    // A straight run's pending move and count (see Straight), and whether the record made last
    // goes on into the next with them.
    uint32_t DeferredMove = 0;
    uint64_t DeferredCount = 0;
    bool Pending = false;
    uint32_t WalkCopy = 0;  // the copy of a walk's pass being made (see Linear)
    THeld Held[HeldRegisters];
    std::vector<std::pair<uint32_t, uint32_t>> Uses;  // PlanHeld's cells: offset, uses (kept for its room)
    int Planned = 0;     // the slots of Held in use
    int TestHeld = -1;   // the slot of the cell Pre moved to, for TestCurrent
    std::vector<TFixup> Fixups;
    std::vector<std::pair<size_t, size_t>> Wraps;  // a move's branch when it wraps, and where it goes on
    std::vector<uint64_t*> Steady;  // by memo loop: its block
    TLoopMemos* const Loops;         // the loops that may be done at once, or none
    std::vector<TLoopMemoCall> LoopMemoCalls;
    std::vector<std::pair<size_t, uint32_t>> VectorCalls;  // a call's rel32 field, its search (2 s + right)
};

}  // namespace

struct TNativeCode::TImpl {
    std::vector<uint64_t> Steady;  // the memo loops' blocks, where the code reads and the engine writes
    std::unique_ptr<TLoopMemos> Loops;  // their kept runs, which the engine writes
    std::unique_ptr<TGenerator> Generator;
};

bool NativeCodeBuilt() { return true; }

std::shared_ptr<const TNativeCode> TNativeCode::Generate(const TFastProgram& program, unsigned cellBits,
                                                         uint32_t tapeSize, const TNativeHelpers& helpers,
                                                         bool watched, const std::vector<TInstruction>* folded) {
    if (program.Ops.empty() || program.Cancelled || (cellBits != 8 && cellBits != 16) || tapeSize == 0 ||
        (tapeSize & (tapeSize - 1)) != 0 || helpers.TripCount == nullptr || helpers.LinearTerms == nullptr ||
        helpers.ScanPasses == nullptr || helpers.MemoEnter == nullptr || helpers.MemoBackEdge == nullptr ||
        helpers.Output == nullptr || helpers.Input == nullptr)
        return nullptr;
    try {
        auto impl = std::make_unique<TImpl>();
        size_t slots = 0;
        for (const TMemoLoop& memo : program.Memos) slots += SteadySlots(memo);
        impl->Steady.assign(slots, 0);
        if (folded != nullptr && !watched && helpers.LoopMemo != nullptr)
            impl->Loops = std::make_unique<TLoopMemos>(
                BuildLoopMemos(*folded, static_cast<uint32_t>(folded->size()), cellBits));
        for (size_t m = 0, at = 0; m < program.Memos.size(); at += SteadySlots(program.Memos[m]), ++m)
            NoteSteadyPasses(program.Memos[m], impl->Steady.data() + at);
        auto generator = std::make_unique<TGenerator>(program, cellBits, tapeSize, helpers, impl->Steady.data(),
                                                      watched, impl->Loops.get());
        std::vector<uint32_t> entry;
        if (!generator->Build(entry)) return nullptr;
        // Written: from now on executable and never writable.
        generator->readyRE();
        impl->Generator = std::move(generator);
        std::shared_ptr<TNativeCode> code(new TNativeCode(std::move(impl)));
        code->Entry = std::move(entry);
        code->Start = reinterpret_cast<TNativeExit (*)(TNativeFrame*, const uint8_t*)>(
            const_cast<uint8_t*>(code->Impl->Generator->getCode()));
        return code;
    } catch (const std::exception&) {  // Xbyak::Error and std::bad_alloc: memory refused
        return nullptr;
    }
}

const uint8_t* TNativeCode::Code() const { return Impl->Generator->getCode(); }
size_t TNativeCode::CodeSize() const { return Impl->Generator->getSize(); }

#else

struct TNativeCode::TImpl {};

bool NativeCodeBuilt() { return false; }

std::shared_ptr<const TNativeCode> TNativeCode::Generate(const TFastProgram&, unsigned, uint32_t,
                                                         const TNativeHelpers&, bool,
                                                         const std::vector<TInstruction>*) {
    return nullptr;
}

const uint8_t* TNativeCode::Code() const { return nullptr; }
size_t TNativeCode::CodeSize() const { return 0; }

#endif

TNativeCode::TNativeCode(std::unique_ptr<TImpl> impl) : Impl(std::move(impl)) {}
TNativeCode::~TNativeCode() = default;

TNativeExit TNativeCode::Run(TNativeFrame& frame) const { return Start(&frame, Code() + Entry[frame.Record]); }

}  // namespace cel
