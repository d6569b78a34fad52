// Plays a scenario's timeline: each step drives a browser window through its
// thread, or through real input, and waits (bounded) until it took effect.
#pragma once

#include <functional>

#include "scenario.h"

namespace standin {

enum class TimelineResult {
  Done,             // every step was carried out
  ScenarioFailure,  // a step does not fit the pages as they are (unknown element, no such window)
  RunFailure,       // a step could not be carried out in time
};

// Plays the steps in order, then reports the elements of every open window and
// closes them. afterStep runs on the calling thread after each step.
TimelineResult RunTimeline(const Scenario& scenario, const std::function<void()>& afterStep);

}  // namespace standin
