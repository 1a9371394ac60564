// The message dialog through which the visual components talk to the user:
// a text, a kind, a set of buttons and a help context in, the button pressed
// out. Components hold one such function each and show every message
// through it, so an application (or a test) can replace the standard modal
// box with its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvid {

enum TMsgDlgType : std::uint8_t { mtInformation, mtConfirmation, mtError };

// A set of buttons: the bits below, or-ed together.
enum TMsgDlgBtn : std::uint8_t { mbYes = 1, mbNo = 2, mbOK = 4 };
using TMsgDlgButtons = std::uint8_t;
inline constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;

// The button that closed the dialog; mrNone when it was closed otherwise.
enum TModalResult : std::uint8_t { mrNone, mrOk, mrYes, mrNo };

using TMessageFunction = std::function<TModalResult(const std::string& Text, TMsgDlgType Kind,
                                                    TMsgDlgButtons Buttons, int HelpContext)>;

// The standard dialog: a modal QMessageBox over the active window with an
// icon for Kind and the buttons asked for. Text is UTF-8. The help context
// is accepted for the signature's sake; Qt's box has no help to show.
TModalResult StandardMessageDlg(const std::string& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons,
                                int HelpContext);

}  // namespace corvid
