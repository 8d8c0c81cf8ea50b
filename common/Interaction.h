// How every form talks to the user: message boxes, modal dialogs, the wait
// cursor, and the edge of an event handler. Message boxes and modal dialogs
// each have a seam that a test replaces to script answers and record what
// was shown.
#pragma once

#include <QString>
#include <Qt>

#include <exception>
#include <functional>

class QDialog;
class QWidget;

// The application title: the title of the box that reports an error that
// escaped a handler.
inline const QString ApplicationTitle = QStringLiteral("VoVID Adizad");
// The program's name and version: the main window's caption and --version.
inline const QString ProductTitle = QStringLiteral("Quellwerk 1.0");
// The name by which the desktop knows the program: the application name and
// so the class of its windows (the desktop entry's StartupWMClass).
inline const QString DesktopName = QStringLiteral("Quellwerk");

// YesNo: "Ja" and "Nein"; RunCancel: "Ausführen" and "Abbrechen", for a
// statement shown before it is sent; PlainFileOrAsk: where a password goes
// without a keyring, "Im Klartext in options.dat speichern" (Yes) and "Bei
// jeder Verbindung fragen" (No, also Enter and Escape); YesAlwaysNo: "Ja"
// (Yes), "Ja, immer für diesen Server" (Always) and "Nein" (No, also Enter
// and Escape), for going on once or for good.
enum class MessageButtons { Ok, YesNo, YesNoCancel, RunCancel, PlainFileOrAsk, YesAlwaysNo };
enum class MessageIcon { None, Critical, Question, Warning };
enum class MessageAnswer { Ok, Yes, No, Cancel, Run, Always };

struct Message {
  QString text;
  QString title; // empty: no title of its own
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
  // How the box reads its text: always as plain text, since a text may hold
  // a name or a server message that must never be taken for markup.
  Qt::TextFormat format = Qt::PlainText;
};

// Shows a modal message box and returns the button pressed.
MessageAnswer ShowMessage(QWidget *parent, const QString &text, const QString &title = {},
                          MessageButtons buttons = MessageButtons::Ok,
                          MessageIcon icon = MessageIcon::None);

// Shows a dialog modally; returns its result (QDialog::Accepted or Rejected).
int ExecModal(QDialog &dialog);

// Seams for tests: a handler replaces the real box or modal loop; an empty
// function restores it. Each returns the handler it replaced.
using MessageHandler = std::function<MessageAnswer(QWidget *parent, const Message &)>;
using ModalHandler = std::function<int(QDialog &)>;
MessageHandler SetMessageHandler(MessageHandler handler);
ModalHandler SetModalHandler(ModalHandler handler);

// Reports an error that escaped a handler: its text and a full stop, titled
// with the application title, with the critical icon.
void ShowEscapedError(QWidget *parent, const QString &what);

// Runs one event handler to completion; an exception that escapes it is
// reported and the program goes on.
template <typename Handler> void RunHandler(QWidget *parent, Handler &&handler) {
  try {
    handler();
  } catch (const std::exception &e) {
    ShowEscapedError(parent, QString::fromUtf8(e.what()));
  } catch (...) {
    ShowEscapedError(parent, QStringLiteral("Unbekannter Fehler"));
  }
}

// The handlers of a dialog that a command shows and whose controls call the
// server: what escapes one (the connection lost, the command ended) must
// not cross the dialog's event loop. It is kept, the dialog closes, and the
// command rethrows it once ExecModal has returned, ending as it would have
// without the dialog. Later handlers do nothing.
class DialogStop {
public:
  explicit DialogStop(QDialog *dialog) : m_dialog(dialog) {}
  template <typename Handler> void run(Handler &&handler) {
    if (m_stopped)
      return;
    try {
      handler();
    } catch (...) {
      stop(std::current_exception());
    }
  }
  void rethrow() const {
    if (m_stopped)
      std::rethrow_exception(m_stopped);
  }

private:
  void stop(std::exception_ptr stopped);
  QDialog *m_dialog;
  std::exception_ptr m_stopped;
};

// Shows the wait cursor while the program waits for the server. Message boxes
// and dialogs shown meanwhile get the normal arrow back.
class WaitCursor {
public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor &) = delete;
  WaitCursor &operator=(const WaitCursor &) = delete;
};
