// One job from start to end: connect, read the HEX file, write, verify and retry each data
// record, log every step, disconnect, log the times.
#pragma once

// The worker routine. Reads JobSettings and JobRunState, reports through GetJobDisplay(),
// leaves its outcome in JobRunState.Result, and returns 0 on every road.
int WriteJob();
