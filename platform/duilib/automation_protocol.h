// The automation protocol. With TERN_AUTOMATION=<socket path> in its
// environment, a program that uses this library serves it on that Unix
// socket from the moment it calls CPaintManagerUI::SetInstance; requests are
// carried out on the UI thread (also while a modal loop runs).
//
// One request is one line; one answer is one line. Fields are separated by
// TAB; inside a field TAB, newline and backslash are written \t, \n and \\.
// Text is UTF-8. An answer is "ok" followed by its fields, or "error"
// followed by one field saying why.
//
// Windows are named by their window class (e.g. "LoginWnd", "MenuWnd",
// "#32770" for message boxes); when several exist the top-most visible one
// is used. Controls are named by their name in the window file.
//
//   windows                       -> ok {class title visible l,t,r,b}...
//   text    CLASS CONTROL         -> ok TEXT
//   state   CLASS CONTROL         -> ok visible=0|1 enabled=0|1 selected=0|1 focused=0|1
//   rect    CLASS CONTROL         -> ok left,top,right,bottom (screen pixels)
//   click   CLASS CONTROL         -> ok   (mouse down and up at the control's centre)
//   settext CLASS CONTROL TEXT    -> ok   (no "textchanged", as SetText)
//   type    CLASS CONTROL TEXT    -> ok   (focuses the control, then one WM_CHAR per character)
//   key     CLASS enter|escape|tab|back -> ok (a key press through the normal message flow)
//   select  CLASS LIST INDEX      -> ok   (selects a list item, "itemselect")
//   tray                          -> ok {class id tip}...
//   tray    CLASS lbuttonup|dblclick|rbuttonup -> ok
//   msgbox                        -> ok TEXT of the top message box
//   msgbox  ok|cancel             -> ok   (answers it)
//   png     CLASS PATH            -> ok   (saves the window's pixels)
#ifndef DUILIB_AUTOMATION_PROTOCOL_H_
#define DUILIB_AUTOMATION_PROTOCOL_H_

#include <string>
#include <vector>

namespace DuiLib::automation {

std::string EscapeField(const std::string& field);
std::string UnescapeField(const std::string& field);
// Splits a line at TABs and unescapes each field.
std::vector<std::string> SplitLine(const std::string& line);
std::string JoinLine(const std::vector<std::string>& fields);

}  // namespace DuiLib::automation

#endif  // DUILIB_AUTOMATION_PROTOCOL_H_
