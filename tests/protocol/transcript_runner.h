// Runs one transcript case against the real service binary on the simulated host, as the
// service user, and reports the first step that does not hold as a test failure at its line.
#pragma once

#include "tests/protocol/transcript.h"

namespace virelo::test {

void runTranscriptCase(const TranscriptCase& transcriptCase);

}  // namespace virelo::test
