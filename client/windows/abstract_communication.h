// What the slide-out window asks of the main window: open and close the
// slide-out, re-dial, node and speed-mode labels, the node list, stopping
// acceleration. The first ten operations keep the product's slot order.
// UI thread.
#ifndef CLIENT_WINDOWS_ABSTRACT_COMMUNICATION_H_
#define CLIENT_WINDOWS_ABSTRACT_COMMUNICATION_H_

#include <string>
#include <vector>

#include "client/engine/node_fetch.h"

// Receives a copy of the node list and the value given to updateNodeMsg.
using NodeListCallback = void (*)(std::vector<NodeEntry> nodes, void* opaque);

class AbstractCommunication {
 public:
  // Slides the slide-out window out on |page| ("tab_acc", "tab_VIP",
  // "tab_tool").
  virtual void openSliderWnd(const std::wstring& page) = 0;
  virtual void closeSliderWnd() = 0;
  virtual void reDial() = 0;
  // True while the signed-in windows are in use (after sign-in, until the
  // account is switched).
  virtual bool loginFlag() const = 0;
  virtual void setSpeedModeLabel(const std::wstring& text) = 0;
  virtual void setNodeLabel() = 0;
  // Fetches the nodes of |region| ("" = default) on the IO thread and hands
  // |callback| a copy of the new list with |opaque|, on the UI thread.
  virtual void updateNodeMsg(NodeListCallback callback,
                             void* opaque,
                             const std::string& region) = 0;
  virtual std::wstring currentNodeName() const = 0;
  virtual std::wstring currentNodeAddress() const = 0;
  virtual void stopAcceleration() = 0;
  // 0 normal, 1 dialling, 2 accelerated.
  virtual int accelerationState() const = 0;

 protected:
  virtual ~AbstractCommunication() = default;
};

#endif  // CLIENT_WINDOWS_ABSTRACT_COMMUNICATION_H_
