#pragma once
// Keeps a recovery copy of unsaved text while the program runs, and offers the copies of
// ended sessions at start-up.
//
// The copy is taken a moment after typing stops (and every few seconds while it goes on),
// written by a thread of its own, brought up to date at shutdown, and removed once
// nothing is unsaved any more or the user has chosen to throw the text away.

#include <QString>

class Document;

// Once the main window exists; `document` outlives the recovery (FinishRecovery).
void StartRecovery(Document &document);
// Once the window is shown: asks about every copy whose program has ended.
void OfferRecoveryCopies();
// The user answered No to the question before discarding: the text is not wanted.
void DiscardRecoveryCopy();
// At shutdown, while the editors still exist: the copy up to date, or gone.
void FinishRecovery();

// This process's copy and the folder of all copies ("" when none can be kept).
QString RecoveryCopyPath();
QString RecoveryCopyFolder();

// How long typing must pause before a copy is taken, and the longest a copy may lag
// behind while typing goes on.
inline constexpr int kRecoveryQuietMs = 1000;
inline constexpr int kRecoveryLongestLagMs = 4000;
