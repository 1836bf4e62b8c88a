// The dispatch of a window server's post() by the kind of event: each kind goes to the poster's
// own handler for it, with the target the poster sends input to (its connection, link or
// session). What a handler does with its kind is the window server's own.
//
// A poster that keeps its handlers private names postByKind() a friend.
#pragma once

#include "platform/event.h"

namespace virelo {

// A flags change (12) to poster.postFlagsChange(target, event), a key down or up (10, 11) to
// postKey, a system-defined event (14) to postMedia, a scroll (22) to postScroll and a mouse
// event (1-7, 25-27) to postMouse; any other type to none.
template <typename Poster, typename Target>
void postByKind(Poster& poster, Target& target, const Event& event) {
  if (event.type == kEventFlagsChanged) {
    poster.postFlagsChange(target, event);
  } else if (event.type == kEventKeyDown || event.type == kEventKeyUp) {
    poster.postKey(target, event);
  } else if (event.type == kEventSystemDefined) {
    poster.postMedia(target, event);
  } else if (event.type == kEventScrollWheel) {
    poster.postScroll(target, event);
  } else if (isMouseEventType(event.type)) {
    poster.postMouse(target, event);
  }
}

}  // namespace virelo
