// Work that may take a while, run on a thread of its own while the calling window thread keeps
// answering its windows.
#pragma once

#include <windows.h>

#include <functional>

// Runs fnWork on a new thread and, until it returns, dispatches the calling thread's messages
// (through IsDialogMessage for hDialog when given, so that its keys work). Returns fnWork's
// result. When no thread can be started, fnWork runs on the calling thread. Handlers dispatched
// meanwhile may run anything: the caller must be ready for a dialog that has been ended, and
// fnWork must not touch what those handlers change.
int RunWhileAnswering(HWND hDialog, const std::function<int()>& fnWork);
