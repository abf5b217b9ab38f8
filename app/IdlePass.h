#pragma once
// The main loop's idle pass: RefreshPreview about every 10 ms while the preview has
// work or something moved lately. When nothing has happened for a while it rests
// entirely, so an idle window never wakes the processor; everything that can give the
// preview work wakes it again.

// Starts and stops the pass (start-up and shutdown).
void StartIdlePass();
void StopIdlePass();
// Called for anything that may give the preview work: an edit, a scroll on either side,
// a size change, a command, a page ready or loading. Cheap; main thread only.
void KeepIdlePassAwake();
// True while the pass runs.
bool IdlePassAwake();

inline constexpr int kIdlePassIntervalMs = 10;
// How long after the last sign of activity the pass keeps running: longer than the
// preview's own settling times, so nothing it waits for is cut short.
inline constexpr int kIdlePassLingerMs = 1500;
