#include "host/variables.h"

namespace host {

VariableStore& Variables() {
  static VariableStore store;
  return store;
}

}  // namespace host
