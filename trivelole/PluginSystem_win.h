// The plug-in's system port in the Windows build: message boxes, the
// registry, private-profile files, the shutdown privilege, process exit,
// MSXML documents and the controller library loaded by name.
#pragma once

#include <memory>

#include "trivelole/PluginPorts.h"

std::unique_ptr<IPluginSystem> CreateWin32PluginSystem();
