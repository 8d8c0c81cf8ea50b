#include "common/NetworkModule.h"

#include <dlfcn.h>

namespace {

struct LoadedModule {
  void *handle = nullptr;
  QString error;
};

// Loaded once and never unloaded: Qt's libraries do not expect to go.
const LoadedModule &Module() {
  static const LoadedModule module = [] {
    LoadedModule loaded;
    loaded.handle = dlopen("libquellwerk-network.so", RTLD_NOW | RTLD_LOCAL);
    if (!loaded.handle)
      loaded.error = QString::fromLocal8Bit(dlerror());
    return loaded;
  }();
  return module;
}

} // namespace

void *NetworkModuleEntry(const char *name, QString &why) {
  const LoadedModule &module = Module();
  void *entry = module.handle ? dlsym(module.handle, name) : nullptr;
  if (!entry)
    why = QStringLiteral("das Netzwerkmodul von Quellwerk fehlt oder ist unvollständig (%1)")
              .arg(module.handle ? QString::fromLatin1(name) : module.error);
  return entry;
}
