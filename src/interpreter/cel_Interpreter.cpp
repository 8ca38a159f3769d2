#include "cel_Interpreter.h"

namespace cel {

void TBFInterpreter::CreateEngine() {
    if (Wide)
        Engine16 = std::make_unique<TBFInterpreter16>(Host);
    else
        Engine8 = std::make_unique<TBFInterpreter8>(Host);
}

TBFInterpreterBase& TBFInterpreter::Engine() const {
    if (Wide) return *Engine16;
    return *Engine8;
}

}  // namespace cel
