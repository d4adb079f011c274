// The open and save file dialogs: the one port every caller uses for
// them. A request names what the dialog offers; the Win32 implementation
// (platform/win/FileDialog_win.cpp) turns it into the system's dialog, and
// only programs that show dialogs link it.
#pragma once

#include <string>

#include "platform/Ports.h"

struct SFileDialogRequest {
  std::string strFilter;       // framework form: "Name (*.EXT)|*.EXT|All Files (*.*)|*.*||"
  std::string strTitle;        // empty: the system's own title
  std::string strDefaultExt;   // appended when the typed name has none
  std::string strInitialFile;  // shown in the name field at first (a name or a pattern)
  bool bHideReadOnly = true;
  bool bFileMustExist = false;  // open: the file and its folder must exist
  bool bOverwritePrompt = false;

  // The usual open dialog: an existing file, read-only box hidden.
  static SFileDialogRequest Open(const std::string& strFilter, const std::string& strTitle = "",
                                 const std::string& strInitialFile = "") {
    SFileDialogRequest request = Named(strFilter, strTitle, strInitialFile);
    request.bFileMustExist = true;
    return request;
  }
  // The usual save dialog: asks before it replaces a file.
  static SFileDialogRequest Save(const std::string& strFilter, const std::string& strTitle = "",
                                 const std::string& strInitialFile = "") {
    SFileDialogRequest request = Named(strFilter, strTitle, strInitialFile);
    request.bOverwritePrompt = true;
    return request;
  }

 private:
  static SFileDialogRequest Named(const std::string& strFilter, const std::string& strTitle,
                                  const std::string& strInitialFile) {
    SFileDialogRequest request;
    request.strFilter = strFilter;
    request.strTitle = strTitle;
    request.strInitialFile = strInitialFile;
    return request;
  }
};

class IFileDialogPort {
 public:
  virtual ~IFileDialogPort() = default;
  // False when cancelled.
  virtual bool ChooseOpenFile(WindowRef hOwner, const SFileDialogRequest& request,
                              std::string* pstrPath) = 0;
  virtual bool ChooseSaveFile(WindowRef hOwner, const SFileDialogRequest& request,
                              std::string* pstrPath) = 0;
};
