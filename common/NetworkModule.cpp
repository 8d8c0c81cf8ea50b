#include "common/NetworkModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr const char *ModuleFile = "libquellwerk-network.so";

// Opens the module from the folders where the loader looks for the
// program's own libraries, its run path among them, in the loader's order.
// A dlopen of the bare name would search the run path of whoever calls it,
// and a dlopen that a tool wraps (AddressSanitizer's) calls it from the
// tool's library instead of from the program.
void *OpenModule() {
  void *program = dlopen(nullptr, RTLD_LAZY);
  Dl_serinfo size{};
  if (program && dlinfo(program, RTLD_DI_SERINFOSIZE, &size) == 0) {
    const std::unique_ptr<Dl_serinfo, decltype(&std::free)> folders(
        static_cast<Dl_serinfo *>(std::malloc(size.dls_size)), &std::free);
    if (folders && dlinfo(program, RTLD_DI_SERINFOSIZE, folders.get()) == 0 &&
        dlinfo(program, RTLD_DI_SERINFO, folders.get()) == 0)
      for (unsigned i = 0; i < folders->dls_cnt; ++i)
        if (void *module =
                dlopen((std::string(folders->dls_serpath[i].dls_name) + '/' + ModuleFile).c_str(),
                       RTLD_NOW | RTLD_LOCAL))
          return module;
  }
  return dlopen(ModuleFile, RTLD_NOW | RTLD_LOCAL);
}

struct LoadedModule {
  void *handle = nullptr;
  QString error;
};

// Loaded once and never unloaded: Qt's libraries do not expect to go.
const LoadedModule &Module() {
  static const LoadedModule module = [] {
    LoadedModule loaded;
    loaded.handle = OpenModule();
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
