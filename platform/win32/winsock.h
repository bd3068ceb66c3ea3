// The Winsock name and address calls the programs use.
//
// inet_addr and inet_ntoa are the C library's, which behave as Winsock's do
// (INADDR_NONE for bad text; a per-thread result buffer). gethostbyname is
// defined by this layer: the C library keeps its result in one buffer shared
// by all threads, while Winsock gives each thread its own, and the node
// prober resolves from many threads at once. It sets the last error
// (WSAGetLastError) to a WSA* code when resolving fails.
#ifndef WIN32_WINSOCK_H_
#define WIN32_WINSOCK_H_

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include "win32/types.h"

typedef struct hostent HOSTENT;

#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAENETDOWN 10050L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L
#define WSA_NOT_ENOUGH_MEMORY 8L

// The calling thread's last error, shared with GetLastError as on Windows.
int WSAGetLastError();
void WSASetLastError(int error);

#endif  // WIN32_WINSOCK_H_
