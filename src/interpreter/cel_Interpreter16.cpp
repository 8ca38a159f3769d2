#include "cel_Interpreter16.h"

namespace cel {

template class TBFInterpreterCells<uint16_t>;

}  // namespace cel
