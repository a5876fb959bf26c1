#include "platform/date_settings.h"

namespace platform {

// Fixed rather than taken from the user's locale, so that a database's text
// forms do not change with the environment it runs in.
DateSettings DefaultDateSettings() {
  return DateSettings{0, '/', ':'};
}

}  // namespace platform
