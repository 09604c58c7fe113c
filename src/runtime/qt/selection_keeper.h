// Keeps a selection's content alive after the program ends: a detached
// process owns the CLIPBOARD selection and hands it to a clipboard manager
// (SAVE_TARGETS) where one runs; otherwise it answers requests itself until
// another client takes the selection over, as command-line clipboard tools do.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include <xcb/xcb.h>

namespace runtime::qt {

// (target name, bytes), e.g. ("image/png", the PNG file).
using SelectionTargets = std::vector<std::pair<std::string, std::string>>;

// Whether a clipboard manager (the owner of CLIPBOARD_MANAGER) runs.
bool ClipboardManagerRuns(xcb_connection_t* connection);

// Starts the detached owner of CLIPBOARD on the same display; returns once
// it owns the selection (true) or has failed (false).
bool KeepClipboardAfterExit(const SelectionTargets& targets);

}  // namespace runtime::qt
