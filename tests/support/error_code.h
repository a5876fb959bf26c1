// The code of the xFBL_Exception a call raises, for tests that expect one.
#pragma once

#include <functional>

#include "platform/errors.h"

namespace ztest {

// The code of the xFBL_Exception f raises, or 0 when it raises none.
inline int ErrorCode(const std::function<void()>& f) {
  try {
    f();
  } catch (const xFBL_Exception& e) {
    return e.Code;
  }
  return 0;
}

}  // namespace ztest
