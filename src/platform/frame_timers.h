// Frame timers by id.  Each running id is a repeating timer that calls the frame's
// timer handler with its id on every expiry until it is stopped; starting a running id
// again restarts it with the new period.  User-interface thread only.
#pragma once

using FrameTimerHandler = void (*)(int id);

// Sets the function every expiry calls (the frame's timer table).
void frame_timers_set_handler(FrameTimerHandler handler);

// Starts (or restarts) timer `id` every `ms` milliseconds; `precise` asks for the
// high-resolution kind.  Returns 1, or 0 when it cannot run (no application object,
// wrong thread, negative period).
int frame_timer_start(int id, int ms, bool precise = false);

// Stops timer `id`; returns 1 when it was running.  Safe inside its own expiry.
int frame_timer_stop(int id);

// 1 when timer `id` is running.
int frame_timer_is_running(int id);

// The period of a running timer, or -1.
int frame_timer_interval(int id);

// Stops every timer.
void frame_timers_stop_all();
