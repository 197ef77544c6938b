// Saving and restoring the program's seams and globals around a test.
//
// HookGuard copies every hook record and every free function-pointer seam
// declared in a header under src/ (the list is written at build time by the
// header scan, see tests/seam_scan.cpp) when it is made and writes them all
// back when it goes: a test or fixture that replaces hooks holds one and
// needs no save and restore lines of its own.
//
// SavedValues does the same for the plain globals a test changes:
//     SavedValues saved{event_switch_events, strip_setting_flags};
#ifndef KEST_TESTS_SUPPORT_HOOK_GUARD_H
#define KEST_TESTS_SUPPORT_HOOK_GUARD_H

#include <tuple>
#include <utility>

#include "hook_snapshot.inc"

class HookGuard {
public:
    HookGuard() = default;
    ~HookGuard() { saved_.restore(); }
    HookGuard(const HookGuard&) = delete;
    HookGuard& operator=(const HookGuard&) = delete;

    // The seams changed since the guard was made.
    std::vector<std::string> changed() const { return saved_.changed(); }

private:
    HookSnapshot saved_;
};

// Copies of variables, written back into them when the object goes.
template <class... T>
class SavedValues {
public:
    explicit SavedValues(T&... vars) : refs_(vars...), copies_(vars...) {}
    ~SavedValues() { refs_ = copies_; }
    SavedValues(const SavedValues&) = delete;
    SavedValues& operator=(const SavedValues&) = delete;

private:
    std::tuple<T&...> refs_;
    std::tuple<T...> copies_;
};

#endif  // KEST_TESTS_SUPPORT_HOOK_GUARD_H
