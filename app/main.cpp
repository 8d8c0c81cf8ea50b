#include "app/Forms.h"
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "clientlib/mysql.h"

#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QProxyStyle>
#include <QStyleFactory>

#include <dlfcn.h>
#include <thread>

namespace {

// The application's style, with each standard icon read from its image files
// once: the forms give the same few pictures (OK, Cancel, Apply, ...) to some
// thirty buttons, and reading them again for each button was the larger part
// of the time to the first window.
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
      cached = m_icons.insert(which, QProxyStyle::standardIcon(which, option, widget));
    return *cached;
  }

private:
  mutable QHash<int, QIcon> m_icons;
};

// The font configuration is read on first use of a font, which the window
// cannot avoid; reading it beside the application's own start-up (fontconfig
// is thread-safe) takes it off the way to the first window.
void PrepareFontConfiguration() {
  using FcInitFunction = int (*)();
  if (auto init = reinterpret_cast<FcInitFunction>(dlsym(RTLD_DEFAULT, "FcInit")))
    init();
}

} // namespace

int main(int argc, char *argv[]) {
  // The client library is bound before any window exists; what came of it
  // shows only when a command needs it. Binding it (and reading the font
  // configuration) runs beside the creation of the application object and is
  // complete before the first form is created.
  std::thread prepare([] {
    mysql::LoadClientLibrary();
    PrepareFontConfiguration();
  });
  int exitCode = 0;
  {
    QApplication app(argc, argv);
    QApplication::setStyle(new IconCachingStyle);
    QApplication::setApplicationName(ApplicationTitle);
    QApplication::setOrganizationName(QStringLiteral("quellwerk"));
    QApplication::setDesktopFileName(QStringLiteral("quellwerk"));
    InstallGermanTranslations();
    prepare.join();
    std::unique_ptr<TMainForm> mainForm = CreateForms();
    mainForm->show();
    exitCode = QApplication::exec();
  }
  // A connect attempt the user gave up may still be waiting inside the client
  // library for its time-out; the library stays loaded for it then.
  if (ServerSession::WaitForBackgroundWork(1000))
    mysql::FreeClientLibrary();
  return exitCode;
}
