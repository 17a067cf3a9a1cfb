// Stopping the process from outside: SIGINT and SIGTERM ask the engine to stop, a second one ends
// it at once.
#pragma once

namespace platform {

// Installs the handlers of SIGINT and SIGTERM (with SA_RESTART, so file and socket calls are not
// cut short). The first signal only records its number; the program's loops and waits read it
// through StopSignal and wind down the normal way, saving what they save. A second signal, for a
// program that does not get there (a blocking message box), ends the process at once with
// 128 + its number, saving nothing. A signal the process was started with ignored stays ignored
// (a script's background job); blocked ones are unblocked on the calling thread. Installing again
// is harmless and keeps a recorded signal.
void InstallStopSignals();

// 0 while no stop was asked, else the number of the first stop signal. Safe from any thread.
int StopSignal();

// Forgets a recorded signal, so tests in one process can send one again.
void ResetStopSignalForTest();

}  // namespace platform
