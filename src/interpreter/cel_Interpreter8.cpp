#include "cel_Interpreter8.h"
#include "cel_FastCells.h"

namespace cel {

template class TBFInterpreterCells<uint8_t>;

}  // namespace cel
