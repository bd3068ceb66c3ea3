// What the main window asks of the login window: bring it back when the
// user switches accounts. UI thread.
#ifndef CLIENT_WINDOWS_ABSTRACT_LOGIN_MAIN_H_
#define CLIENT_WINDOWS_ABSTRACT_LOGIN_MAIN_H_

class AbstractLoginMain {
 public:
  // Focuses the first empty edit, shows the login window and brings it to
  // the top.
  virtual void showLoginWnd() = 0;

 protected:
  virtual ~AbstractLoginMain() = default;
};

#endif  // CLIENT_WINDOWS_ABSTRACT_LOGIN_MAIN_H_
