#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "clientlib/ClientLibrary.h"
#include "clientlib/ServerSession.h"
#include "common/Interaction.h"
#include "ssh/SshAskpass.h"

#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QIconEngine>
#include <QProxyStyle>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

#include <dlfcn.h>
#include <thread>

namespace {

// The application's style, with each standard icon read from its image files
// once, and only when it is first drawn: the forms give the same few
// pictures (OK, Cancel, Apply, ...) to some thirty buttons, most of them in
// dialogs that are not shown at start, and reading the files (each picture in
// three sizes) was the larger part of the time to the first window.
class IconCachingStyle : public QProxyStyle {
public:
  // Wraps the style the application would use anyway (platform default,
  // -style or QT_STYLE_OVERRIDE).
  IconCachingStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

  QIcon standardIcon(StandardPixmap which, const QStyleOption *option,
                     const QWidget *widget) const override {
    if (option || widget)
      return QProxyStyle::standardIcon(which, option, widget);
    auto cached = m_icons.constFind(which);
    if (cached == m_icons.cend())
      cached = m_icons.insert(which, QIcon(new DeferredIcon(*this, which)));
    return *cached;
  }

private:
  // Stands for the style's icon and reads it on first use. Copies of the
  // QIcon share one engine, so the files are read once.
  class DeferredIcon : public QIconEngine {
  public:
    DeferredIcon(const IconCachingStyle &style, StandardPixmap which)
        : m_style(style), m_which(which) {}
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
               QIcon::State state) override {
      icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
      return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
      return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
      return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
      return icon().availableSizes(mode, state);
    }
    bool isNull() override { return false; } // the style has every picture the buttons use
    QIconEngine *clone() const override { return new DeferredIcon(m_style, m_which); }
    QString key() const override { return QStringLiteral("quellwerk-deferred"); }

  private:
    const QIcon &icon() {
      if (!m_read) {
        m_icon = m_style.QProxyStyle::standardIcon(m_which, nullptr, nullptr);
        m_read = true;
      }
      return m_icon;
    }
    const IconCachingStyle &m_style;
    StandardPixmap m_which;
    QIcon m_icon;
    bool m_read = false;
  };

  mutable QHash<int, QIcon> m_icons;
};

// The font configuration is read on first use of a font, which the window
// cannot avoid; reading it while the client library is bound on the other
// thread takes the binding off the way to the first window.
void PrepareFontConfiguration() {
  using FcInitFunction = int (*)();
  if (auto init = reinterpret_cast<FcInitFunction>(dlsym(RTLD_DEFAULT, "FcInit")))
    init();
}

// Qt cannot open a window without a display: it reports that as a fatal
// error and aborts (exit code 134) after a few lines of its own. While the
// application object is created, Qt's messages are held back; a fatal one
// becomes one German line and exit code 1, the others are passed on once the
// application stands.
class NoDisplayGuard {
public:
  NoDisplayGuard() { s_previous = qInstallMessageHandler(&Hold); }
  NoDisplayGuard(const NoDisplayGuard &) = delete;
  NoDisplayGuard &operator=(const NoDisplayGuard &) = delete;
  // The application stands: Qt's messages go their usual way again.
  ~NoDisplayGuard() {
    qInstallMessageHandler(s_previous);
    const std::lock_guard lock(s_mutex);
    for (const Held &held : s_held) {
      const QMessageLogContext context(held.file.constData(), held.line, held.function.constData(),
                                       held.category.constData());
      qt_message_output(held.type, context, held.text);
    }
    s_held.clear();
  }

private:
  struct Held {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
  };
  static void Hold(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type == QtFatalMsg) {
      std::fputs("quellwerk: Keine Anzeige gefunden: Quellwerk braucht eine grafische Sitzung "
                 "(X11 oder Wayland; DISPLAY bzw. WAYLAND_DISPLAY ist nicht gesetzt oder nicht "
                 "erreichbar).\n",
                 stderr);
      std::fflush(stderr);
      std::_Exit(1);
    }
    const std::lock_guard lock(s_mutex);
    s_held.push_back({type, context.file, context.function, context.category, context.line, text});
  }
  static inline QtMessageHandler s_previous = nullptr;
  static inline std::mutex s_mutex;
  static inline std::vector<Held> s_held;
};

} // namespace

int main(int argc, char *argv[]) {
  // Started by ssh as its SSH_ASKPASS helper: pass the question on and end.
  if (const std::optional<int> exitCode = RunAsSshAskpass(argc, argv))
    return *exitCode;
  if (const std::optional<int> exitCode = HandleCommandLine(argc, argv))
    return *exitCode;
  // The client library is bound before any window exists; what came of it
  // shows only when a command needs it. Binding it runs beside the creation
  // of the application object and the reading of the font configuration, and
  // is complete before the first form is created. (The font configuration is
  // the longer of the two: on the helper thread, the forms waited for it.)
  std::thread prepare([] { LoadClientLibraryFile(); });
  int exitCode = 0;
  {
    std::optional<NoDisplayGuard> guard(std::in_place);
    QApplication app(argc, argv);
    guard.reset();
    QApplication::setStyle(new IconCachingStyle);
    QApplication::setApplicationName(DesktopName);
    QApplication::setOrganizationName(QStringLiteral("quellwerk"));
    QApplication::setDesktopFileName(QStringLiteral("quellwerk"));
    InstallGermanTranslations();
    PrepareFontConfiguration();
    prepare.join();
    std::unique_ptr<TMainForm> mainForm = ShowMainFormFirst();
    exitCode = QApplication::exec();
  }
  // A connect attempt the user gave up may still be waiting inside the client
  // library for its time-out; the library stays loaded for it then.
  if (ServerSession::WaitForBackgroundWork(1000))
    ReleaseClientLibrary();
  return exitCode;
}
