// The XML document of the native build, on pugixml: the same paths,
// document order, text content and serialisation as the Windows build's
// MSXML document (XmlDocument_win.h). Text is returned in ISO-8859-1, the
// native stand-in for the ANSI code page ('?' for what it cannot hold).
#pragma once

#include <memory>

#include "trivelole/PluginPorts.h"

std::unique_ptr<IXmlDocument> CreatePugiXmlDocument();
