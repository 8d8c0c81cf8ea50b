// The TLS probe and the desktop keyring need Qt Network and QtKeychain, which
// bring about ten more libraries into a process (Kerberos and D-Bus among
// them) and cost every start a millisecond before its first paint, although
// most starts need neither before a connection is made. So their code lives
// in a module of its own, libquellwerk-network.so, loaded when a connection
// first needs it. The program finds it through its run path: in the build
// folder beside the program, in <libdir>/quellwerk where installed.
#pragma once

#include <QString>

// The entry point `name` of the network module, which is loaded on the first
// call, on whichever thread it comes. Null when the module or the entry point
// is missing; `why` then says why, in German, without a full stop.
void *NetworkModuleEntry(const char *name, QString &why);

// The table of functions that the entry point `name`, a function without
// arguments, gives back; null as above.
template <typename Entries> const Entries *NetworkModuleEntries(const char *name, QString &why) {
  using Entry = const Entries *(*)();
  const auto entry = reinterpret_cast<Entry>(NetworkModuleEntry(name, why));
  return entry ? entry() : nullptr;
}

// How the module's entry points are exported.
#define QW_NETWORK_MODULE_ENTRY extern "C" __attribute__((visibility("default")))
