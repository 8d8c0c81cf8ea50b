#include "common/Interaction.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

MessageHandler &messageHandler() {
  static MessageHandler handler;
  return handler;
}

ModalHandler &modalHandler() {
  static ModalHandler handler;
  return handler;
}

// While a box or dialog waits for the user, the wait cursor would lie.
class ArrowWhileWaitingForUser {
public:
  ArrowWhileWaitingForUser() : m_active(QGuiApplication::overrideCursor() != nullptr) {
    if (m_active)
      QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileWaitingForUser() {
    if (m_active)
      QGuiApplication::restoreOverrideCursor();
  }
  ArrowWhileWaitingForUser(const ArrowWhileWaitingForUser &) = delete;
  ArrowWhileWaitingForUser &operator=(const ArrowWhileWaitingForUser &) = delete;

private:
  bool m_active;
};

QMessageBox::Icon toQt(MessageIcon icon) {
  switch (icon) {
  case MessageIcon::Critical: return QMessageBox::Critical;
  case MessageIcon::Question: return QMessageBox::Question;
  case MessageIcon::Warning: return QMessageBox::Warning;
  case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

MessageAnswer showRealBox(QWidget *parent, const Message &message) {
  QMessageBox box(toQt(message.icon), message.title, message.text, QMessageBox::NoButton, parent);
  box.setTextFormat(message.format);
  if (message.buttons == MessageButtons::RunCancel) {
    QPushButton *run = box.addButton(QStringLiteral("Ausführen"), QMessageBox::AcceptRole);
    box.setEscapeButton(box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole));
    box.setDefaultButton(run);
    box.exec();
    return box.clickedButton() == run ? MessageAnswer::Run : MessageAnswer::Cancel;
  }
  if (message.buttons == MessageButtons::PlainFileOrAsk) {
    QPushButton *plain =
        box.addButton(QStringLiteral("Im Klartext in options.dat speichern"), QMessageBox::YesRole);
    QPushButton *ask =
        box.addButton(QStringLiteral("Bei jeder Verbindung fragen"), QMessageBox::NoRole);
    // Only a deliberate choice puts a password in clear text.
    box.setDefaultButton(ask);
    box.setEscapeButton(ask);
    box.exec();
    return box.clickedButton() == plain ? MessageAnswer::Yes : MessageAnswer::No;
  }
  if (message.buttons == MessageButtons::YesAlwaysNo) {
    QPushButton *yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    QPushButton *always =
        box.addButton(QStringLiteral("Ja, &immer für diesen Server"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    // Only a deliberate choice goes on.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == always ? MessageAnswer::Always
           : box.clickedButton() == yes  ? MessageAnswer::Yes
                                         : MessageAnswer::No;
  }
  if (message.buttons == MessageButtons::YesNoCancel) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
  } else if (message.buttons == MessageButtons::YesNo) {
    // Only a deliberate "Ja" goes on: Enter and Escape both answer "Nein".
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  switch (box.exec()) {
  case QMessageBox::Yes: return MessageAnswer::Yes;
  case QMessageBox::No: return MessageAnswer::No;
  case QMessageBox::Ok: return MessageAnswer::Ok;
  default: return MessageAnswer::Cancel;
  }
}

} // namespace

MessageAnswer ShowMessage(QWidget *parent, const QString &text, const QString &title,
                          MessageButtons buttons, MessageIcon icon) {
  const Message message{text, title, buttons, icon, Qt::PlainText};
  if (messageHandler())
    return messageHandler()(parent, message);
  ArrowWhileWaitingForUser arrow;
  return showRealBox(parent, message);
}

int ExecModal(QDialog &dialog) {
  if (modalHandler())
    return modalHandler()(dialog);
  ArrowWhileWaitingForUser arrow;
  return dialog.exec();
}

void DialogStop::stop(std::exception_ptr stopped) {
  m_stopped = std::move(stopped);
  QMetaObject::invokeMethod(m_dialog, &QDialog::reject, Qt::QueuedConnection);
}

MessageHandler SetMessageHandler(MessageHandler handler) {
  return std::exchange(messageHandler(), std::move(handler));
}

ModalHandler SetModalHandler(ModalHandler handler) {
  return std::exchange(modalHandler(), std::move(handler));
}

void ShowEscapedError(QWidget *parent, const QString &what) {
  ShowMessage(parent, what + QLatin1Char('.'), ApplicationTitle, MessageButtons::Ok,
              MessageIcon::Critical);
}

WaitCursor::WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }

WaitCursor::~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
