#pragma once

namespace sondralis::cli {

// From here on, SIGINT, SIGTERM and SIGHUP end the process only after the
// temporary files and folders of unfinished outputs (TTemporaryPaths) are
// removed; the process then dies of the signal as before. Signals that were
// ignored when the program started stay ignored. Call it first thing in
// main, before any other thread exists.
void RemoveTemporariesOnInterrupt();

}  // namespace sondralis::cli
