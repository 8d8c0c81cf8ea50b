// Runs the statements of a comparison's script on a session, one call each,
// so that the window shows which one runs and the user can stop it; the
// first statement that fails ends the run. The session's sql_mode is set for
// the script first and comes back afterwards, whatever happened.
#pragma once

#include "clientlib/ServerSession.h"
#include "compare/SchemaScript.h"

#include <functional>

struct ScriptRun {
  int done = 0;        // statements that ran
  int failed = -1;     // the statement that failed (its place in the script), or -1
  ServerReply failure; // the server's answer to it, or to the prologue
  bool cancelled = false;
  bool complete() const { return failed < 0 && failure.ok && !cancelled; }
};

// `started(i)` is called before statement i is sent.
ScriptRun RunScript(ServerSession &session, const QList<ScriptStatement> &statements,
                    const std::function<void(int)> &started = {});

// What the user is told when a run ended early: which statement (number
// and its first line) failed and why, or where it was stopped, and how many
// ran.
QString ScriptRunReport(const ScriptRun &run, const QList<ScriptStatement> &statements);
