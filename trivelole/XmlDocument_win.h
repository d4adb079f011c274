// The XML document of the Windows build: the MSXML 3.0 DOM through COM
// (DOMDocument30, run with OleRun, asynchronous loading, external
// references and validation off), COM initialised and uninitialised by
// each document for its thread. Text crosses in the ANSI code page.
#pragma once

#include <memory>

#include "trivelole/PluginPorts.h"

std::unique_ptr<IXmlDocument> CreateMsxmlDocument();
