// Calls into the subsystem hooks (subsystem_hooks.h) that stand in for an empty hook: an empty
// action hook is skipped, an empty query hook answers with the caller's default. Runs on the
// thread of the caller; no state.
#pragma once

#include <functional>
#include <utility>

// Calls the hook with the arguments when it is set; does nothing when it is empty.
template <typename Hook, typename... Args>
void gf_callHook(const Hook& hook, Args&&... args)
{
    if (hook)
        hook(std::forward<Args>(args)...);
}

// The hook's answer, or whenEmpty when the hook is not set.
inline bool gf_askHook(const std::function<bool()>& hook, bool whenEmpty)
{
    return hook ? hook() : whenEmpty;
}
