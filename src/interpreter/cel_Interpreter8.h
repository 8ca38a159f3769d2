#pragma once

#include "cel_InterpreterCells.h"

namespace cel {

// The engine of one run with 8-bit cells.
class TBFInterpreter8 final : public TBFInterpreterCells<uint8_t> {
public:
    using TBFInterpreterCells<uint8_t>::TBFInterpreterCells;
};

}  // namespace cel
