// Takes a crash left behind (a hidden file in RECORDINGS/ of a process that
// is gone), offered back at the next start: the window asks for each whether
// to keep it (and under which name) or to discard it; tonewarp-live keeps
// each under a visible name and says where.
#pragma once

#include <string>
#include <vector>

#include "app/dialogs.h"

namespace tw {

// Asks about every leftover take: Yes opens the save dialog (in RECORDINGS/)
// and moves the take there (Cancel keeps it for the next start); No removes
// it. Returns how many were kept. UI thread.
int offer_leftover_takes(Dialogs& dialogs);

// Gives every leftover take a visible name in RECORDINGS/ ("Recovered take
// 2026-12-10 15-04-31.wav") and returns those names. UI thread.
std::vector<std::string> keep_leftover_takes();

}  // namespace tw
