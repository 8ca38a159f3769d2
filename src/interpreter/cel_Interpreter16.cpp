#include "cel_Interpreter16.h"
#include "cel_FastCells.h"

namespace cel {

template class TBFInterpreterCells<uint16_t>;

}  // namespace cel
