#pragma once

#include "cel_InterpreterCells.h"

namespace cel {

// The engine of one run with 16-bit cells.
class TBFInterpreter16 final : public TBFInterpreterCells<uint16_t> {
public:
    using TBFInterpreterCells<uint16_t>::TBFInterpreterCells;
};

}  // namespace cel
