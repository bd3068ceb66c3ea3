// Whether queued service calls may still run. At shutdown the threads
// finish their queues; a service call can take 20 s or more and would hold
// the exit (and the single-instance lock) that long, so tasks check this
// first and skip the call. Writes of config.ini are not gated. Any thread.
#ifndef CLIENT_WINDOWS_SERVICE_CALL_GATE_H_
#define CLIENT_WINDOWS_SERVICE_CALL_GATE_H_

// Called once, on the main thread, when the main loop has ended.
void StopServiceCalls();
bool ServiceCallsStopped();
// Opens the gate again (tests that run several windows in one process).
void ResetServiceCallsForTesting();

#endif  // CLIENT_WINDOWS_SERVICE_CALL_GATE_H_
