#pragma once

#include <QString>

class CardJob;

// How an upload stands or ended. The journal words them in this order.
enum class UploadOutcome
{
    Complete,    // the card acknowledged the final block
    Failed,      // stopped at a step (reason, block where there is one)
    CutOff,      // the line went away in the middle, at `block`: the card must be reset
    Begun,       // the upload is about to send its first byte
    Interrupted, // ended by a signal at `block`
    Disturbed,   // an acknowledgement no block awaited, at `block`
};

// Where an errand's upload is recorded. The card cannot be read back, so an upload that cannot
// record its beginning must not begin.
class UploadRecorder
{
public:
    virtual ~UploadRecorder() = default;
    // Right before the first byte goes to the card: empty when recorded, else one German line
    // of why not; the upload then sends nothing and fails.
    virtual QString uploadBegun(const CardJob &job) = 0;
    // Once the upload has ended, as job.outcome() says: empty, or why it could not be recorded.
    virtual QString uploadEnded(const CardJob &job) = 0;
};
