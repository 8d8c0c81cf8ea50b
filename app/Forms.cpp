#include "app/Forms.h"

#include "about/AboutBoxUnit.h"
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "common/WaitWindow.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NeueDBFUnit.h"
#include "schema/NewTableFUnit.h"
#include "schema/RenameTableFUnit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWindow>

#include <algorithm>
#include <iterator>

// The program's icon, for every window and the information dialog: one
// picture, of the size the information dialog shows, read once. The
// resource lives in the static library, so it is registered by hand (and
// outside any namespace).
static void InstallProgramIcon() {
  Q_INIT_RESOURCE(quellwerk);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quellwerk-48.png")));
}

// Every server call of the program waits with the wait window.
static void InstallWaitWindow() {
  SetCallWaiter(
      [](const QString &what, PendingCall &call) { WaitWithWindow(what, WaitedCallOf(call)); });
}

namespace {

std::unique_ptr<TMainForm> CreateMainForm() {
  InstallProgramIcon();
  InstallWaitWindow();
  return std::make_unique<TMainForm>();
}

void CreateDialogs(TMainForm &main) {
  main.Dialog = new TDialog(&main);
  main.NewDBForm = new TNewDBForm(&main);
  main.RenameTableForm = new TRenameTableForm(&main);
  main.NewTableForm = new TNewTableForm(nullptr, &main);
  main.EditFieldForm = new TEditFieldForm(&main);
  main.NewTableForm->SetFieldEditor(main.EditFieldForm);
  main.AboutBox = new TAboutBox(&main);
}

// Events that bring the main window up and paint it, and run none of the
// program's own code: they may come before the dialogs exist.
bool IsFirstPaintEvent(const QObject *receiver, const QEvent *event) {
  static constexpr QEvent::Type Harmless[] = {QEvent::Paint,
                                              QEvent::UpdateRequest,
                                              QEvent::UpdateLater,
                                              QEvent::Expose,
                                              QEvent::Show,
                                              QEvent::ShowToParent,
                                              QEvent::Polish,
                                              QEvent::PolishRequest,
                                              QEvent::LayoutRequest,
                                              QEvent::Resize,
                                              QEvent::Move,
                                              QEvent::WinIdChange,
                                              QEvent::PlatformSurface,
                                              QEvent::ChildAdded,
                                              QEvent::ChildPolished,
                                              QEvent::ChildRemoved,
                                              QEvent::FocusIn,
                                              QEvent::FocusOut,
                                              QEvent::FocusAboutToChange,
                                              QEvent::WindowActivate,
                                              QEvent::WindowDeactivate,
                                              QEvent::ActivationChange,
                                              QEvent::ApplicationStateChange,
                                              QEvent::WindowStateChange,
                                              QEvent::WindowTitleChange,
                                              QEvent::WindowIconChange,
                                              QEvent::ApplicationWindowIconChange,
                                              QEvent::ZOrderChange,
                                              QEvent::ScreenChangeInternal,
                                              QEvent::Enter,
                                              QEvent::Leave,
                                              QEvent::HoverEnter,
                                              QEvent::HoverLeave,
                                              QEvent::HoverMove,
                                              QEvent::DynamicPropertyChange,
                                              QEvent::CursorChange,
                                              QEvent::ToolTipChange,
                                              QEvent::ContentsRectChange,
                                              QEvent::StyleChange,
                                              QEvent::FontChange,
                                              QEvent::PaletteChange,
                                              QEvent::EnabledChange,
                                              QEvent::LayoutDirectionChange,
                                              QEvent::StyleAnimationUpdate,
                                              QEvent::DeferredDelete};
  // The windows' own timers (layouts, blinking) too; a QTimer may be anyone's.
  if (event->type() == QEvent::Timer)
    return receiver->isWidgetType() || receiver->isWindowType();
  // Queued calls within Qt: the desktop bus getting ready (calls that come
  // over it are handled by objects of other classes) and the animations of
  // the style.
  if (event->type() == QEvent::MetaCall) {
    const char *className = receiver->metaObject()->className();
    return qstrncmp(className, "QDBusConnection", 15) == 0 ||
           qstrncmp(className, "QAnimation", 10) == 0;
  }
  return std::find(std::begin(Harmless), std::end(Harmless), event->type()) != std::end(Harmless);
}

// Makes the dialogs once the main window has been painted for the first
// time, or at once when anything else comes first.
class DialogsAfterFirstPaint : public QObject {
public:
  explicit DialogsAfterFirstPaint(TMainForm &main) : QObject(&main), m_main(main) {
    QCoreApplication::instance()->installEventFilter(this);
  }

  bool eventFilter(QObject *receiver, QEvent *event) override {
    if (receiver == this)
      return false; // the call that makes them
    if (event->type() == QEvent::Expose && receiver == m_main.windowHandle() &&
        m_main.windowHandle()->isExposed()) {
      // The window paints while it handles this event; the dialogs follow.
      QMetaObject::invokeMethod(this, &DialogsAfterFirstPaint::make, Qt::QueuedConnection);
      return false;
    }
    if (!IsFirstPaintEvent(receiver, event))
      make();
    return false;
  }

private:
  void make() {
    if (m_made)
      return;
    m_made = true;
    QCoreApplication::instance()->removeEventFilter(this);
    CreateDialogs(m_main);
  }
  TMainForm &m_main;
  bool m_made = false;
};

} // namespace

std::unique_ptr<TMainForm> CreateForms() {
  std::unique_ptr<TMainForm> main = CreateMainForm();
  CreateDialogs(*main);
  return main;
}

std::unique_ptr<TMainForm> ShowMainFormFirst() {
  std::unique_ptr<TMainForm> main = CreateMainForm();
  new DialogsAfterFirstPaint(*main);
  main->show();
  return main;
}

void InstallGermanTranslations() {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto *translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(QStringLiteral("qtbase_de"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
}
