#include "cel_Interpreter8.h"

namespace cel {

template class TBFInterpreterCells<uint8_t>;

}  // namespace cel
