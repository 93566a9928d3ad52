// The platform's HTML Help viewer for the bridge: the system's hhctrl.ocx on Windows
// (winhelpviewer.h), our own Qt viewer elsewhere (hhviewer.h). Create it once, after the
// QApplication, and keep it as long as the bridge that uses it.
#pragma once

#include "helpapi.h"

#include <memory>

namespace hg::help {

std::unique_ptr<IHtmlHelpViewer> CreateHtmlHelpViewer();

} // namespace hg::help
