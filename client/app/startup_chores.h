// The two background chores of every start: the IKE service restart and the
// start-up service check. Each runs on a detached thread that nobody waits
// for; both only log.
#ifndef CLIENT_APP_STARTUP_CHORES_H_
#define CLIENT_APP_STARTUP_CHORES_H_

void StartDetachedChores();

#endif  // CLIENT_APP_STARTUP_CHORES_H_
