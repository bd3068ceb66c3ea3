#ifndef CLIENT_NOTIFICATION_NOTIFICATION_TYPES_H_
#define CLIENT_NOTIFICATION_NOTIFICATION_TYPES_H_

// Notification types of the client. The numbers are fixed: the main window
// posts 3 and 4.
enum NotificationType {
  // The tunnel is up (the dial library reported its routes added).
  NOTIFICATION_TUNNEL_UP = 3,
  // The tunnel went down or failed.
  NOTIFICATION_TUNNEL_DOWN = 4,
};

#endif  // CLIENT_NOTIFICATION_NOTIFICATION_TYPES_H_
