// What the slide-out window asks of the main window (open and close the
// slide-out, re-dial, node and speed-mode labels, the node list, stopping
// acceleration). The main-window work adds the operations; the frame only
// needs the type to wire the two windows together. UI thread.
#ifndef CLIENT_WINDOWS_ABSTRACT_COMMUNICATION_H_
#define CLIENT_WINDOWS_ABSTRACT_COMMUNICATION_H_

class AbstractCommunication {
 protected:
  virtual ~AbstractCommunication() = default;
};

#endif  // CLIENT_WINDOWS_ABSTRACT_COMMUNICATION_H_
