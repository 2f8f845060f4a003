#pragma once

namespace corvane {

// The one clock of a router connection: every owner (the window's timer, the
// headless loop) calls RouterSession::OnSendTimer and Connection::OnTick once
// per tick, and every period below is counted in those ticks.
inline constexpr int kTickMs = 50;
inline constexpr int kTicksPerSecond = 1000 / kTickMs;

// A command waits this long for an answer before the next may go (1 s).
inline constexpr int kAnswerWaitTicks = 20;
// A link that takes nothing of a waiting command this long (5 s) has failed.
inline constexpr int kStalledLinkTicks = 100;
// No answer to anything this long (3 s) while commands go out: the router is
// not answering.
inline constexpr int kSilentTicks = 60;
// While the router is not answering, one probe a second.
inline constexpr int kProbeTicks = 20;
// A failed link is opened again this often (3 s).
inline constexpr int kRetryTicks = 60;
// Refresh never sends more than this many queries in any kTicksPerSecond ticks.
inline constexpr int kRefreshPerSecond = 12;
// The slow refresh queries (cards, EDID modes, settings) come round this often.
inline constexpr int kSlowRefreshTicks = 20 * kTicksPerSecond;
// A LINK answer is what the router has now for this many ticks at least; a
// LINK command built later asks again first.
inline constexpr int kFreshLinkTicks = 1;

}  // namespace corvane
