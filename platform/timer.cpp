#include "platform/timer.h"

namespace clv::platform {

void beginTimerResolution(unsigned) {}
void endTimerResolution(unsigned) {}

}  // namespace clv::platform
