// Machine-wide registry settings the client adjusts at start-up: the UAC
// level (raised only after the user agrees) and the remote-access and IPsec
// values that L2TP/IPsec and PPTP dials need. Both write HKEY_LOCAL_MACHINE.
#ifndef CLIENT_SYSTEM_REGISTRY_SETTINGS_H_
#define CLIENT_SYSTEM_REGISTRY_SETTINGS_H_

// When UAC is at its never-notify level (both policy values 0), asks the
// user through a message box and raises it on OK. Called on the UI thread
// before any window exists.
void CheckUacLevel();

// Writes the tunnelling values, every time, whatever they hold.
void ApplyTunnelRegistrySettings();

#endif  // CLIENT_SYSTEM_REGISTRY_SETTINGS_H_
