#include "platform/message_loop.h"

namespace fernlite {

bool IsIdleMessage(unsigned message) {
  switch (message) {
    case kMouseMoveMessage:
    case kNonClientMouseMoveMessage:
    case kPaintMessage:
    case kSystemTimerMessage: return false;
    default: return true;
  }
}

void IdleSchedule::AfterMessage(unsigned message) {
  if (IsIdleMessage(message)) due_ = true;
}

}  // namespace fernlite
