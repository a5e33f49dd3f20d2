// The running instance's own bus interface, through which the small commands reach it.
#pragma once

namespace varnel_app {

// A connection of the serving process of its own: the event channel's connection belongs to the
// platform library, and a second name there would not tell whether the instance is serving.
inline constexpr const char* kControlBusName = "com.corvane.Varnel.Control";
inline constexpr const char* kControlObjectPath = "/com/corvane/Varnel/Control";
inline constexpr const char* kControlInterface = "com.corvane.Varnel.Control";
// The error a method answers with; its message is the line the command shows.
inline constexpr const char* kControlError = "com.corvane.Varnel.Control.Error";

}  // namespace varnel_app
