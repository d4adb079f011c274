// An open-file dialog with the framework's fuller set of choices (default
// extension, initial file, read-only box, overwrite prompt), for callers
// that name them; the plain dialogs of IUiPort serve everyone else.
#pragma once

#include <string>

#include "platform/Ports.h"

struct SFileDialogRequest {
  std::string strFilter;       // framework form: "Name (*.EXT)|*.EXT||"
  std::string strDefaultExt;   // appended when the typed name has none
  std::string strInitialFile;  // shown in the name field at first
  bool bHideReadOnly = false;
  bool bOverwritePrompt = false;
};

class IFileDialogPort {
 public:
  virtual ~IFileDialogPort() = default;
  // False when cancelled.
  virtual bool ChooseOpenFile(WindowRef hOwner, const SFileDialogRequest& request,
                              std::string* pstrPath) = 0;
};
