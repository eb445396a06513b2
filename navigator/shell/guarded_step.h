// Procedures of the navigator run most of their statements as steps that are
// guarded one by one: a step that fails is skipped, silently, and the next one
// runs. GuardedStep is that guard.
#pragma once

namespace tessaro {

// Runs `step`; an exception it throws ends only this step.
template <typename Step>
void GuardedStep(Step&& step) noexcept
{
    try {
        step();
    } catch (...) {
    }
}

}  // namespace tessaro
