#include "platform/win/FileDialog_win.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

#include "platform/win/Platform_win.h"

namespace {

struct SDialogCall {
  WindowRef hOwner = 0;
  const std::string* pstrFilter = nullptr;  // framework form, "|"-separated
  const std::string* pstrTitle = nullptr;   // null or empty: the dialog's own
  const std::string* pstrInitialFile = nullptr;
  const std::string* pstrDefaultExt = nullptr;  // null or empty: none
  DWORD dwFlags = 0;
  bool bSave = false;
};

// Shows GetOpenFileNameA or GetSaveFileNameA; false when cancelled.
bool RunDialog(const SDialogCall& call, std::string* pstrPath) {
  // The framework's "|" separators become the NULs the dialog expects.
  std::vector<char> filter(call.pstrFilter->begin(), call.pstrFilter->end());
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.push_back('\0');
  filter.push_back('\0');
  char szFile[MAX_PATH] = {0};
  strncpy(szFile, call.pstrInitialFile->c_str(), MAX_PATH - 1);
  OPENFILENAMEA ofn;
  std::memset(&ofn, 0, sizeof(ofn));
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = reinterpret_cast<HWND>(call.hOwner);
  ofn.lpstrFilter = filter.data();
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = MAX_PATH;
  if (call.pstrTitle && !call.pstrTitle->empty()) ofn.lpstrTitle = call.pstrTitle->c_str();
  if (call.pstrDefaultExt && !call.pstrDefaultExt->empty())
    ofn.lpstrDefExt = call.pstrDefaultExt->c_str();
  ofn.Flags = call.dwFlags;
  BOOL bOk = call.bSave ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!bOk) return false;
  *pstrPath = szFile;
  return true;
}

class CWinFileDialogPort : public IFileDialogPort {
 public:
  bool ChooseOpenFile(WindowRef hOwner, const SFileDialogRequest& request,
                      std::string* pstrPath) override {
    SDialogCall call;
    call.hOwner = hOwner;
    call.pstrFilter = &request.strFilter;
    call.pstrInitialFile = &request.strInitialFile;
    call.pstrDefaultExt = &request.strDefaultExt;
    call.dwFlags = OFN_NOCHANGEDIR | (request.bHideReadOnly ? OFN_HIDEREADONLY : 0) |
                   (request.bOverwritePrompt ? OFN_OVERWRITEPROMPT : 0);
    return RunDialog(call, pstrPath);
  }
};

// The base set's message boxes, and the open and save dialogs.
class CWinDialogUi : public IUiPort {
 public:
  explicit CWinDialogUi(IUiPort& messageBoxes) : m_messageBoxes(messageBoxes) {}
  int ShowMessageBox(WindowRef hOwner, const std::string& strText, const std::string& strCaption,
                     uint32_t dwFlags) override {
    return m_messageBoxes.ShowMessageBox(hOwner, strText, strCaption, dwFlags);
  }
  bool ChooseOpenFile(WindowRef hOwner, const std::string& strFilter, const std::string& strTitle,
                      std::string* pstrPath) override {
    return Run(hOwner, strFilter, strTitle, std::string(), false, pstrPath);
  }
  bool ChooseSaveFile(WindowRef hOwner, const std::string& strFilter, const std::string& strTitle,
                      const std::string& strDefaultName, std::string* pstrPath) override {
    return Run(hOwner, strFilter, strTitle, strDefaultName, true, pstrPath);
  }
  bool ChooseOpenFileNamed(WindowRef hOwner, const std::string& strFilter,
                           const std::string& strTitle, const std::string& strDefaultName,
                           std::string* pstrPath) override {
    return Run(hOwner, strFilter, strTitle, strDefaultName, false, pstrPath);
  }

 private:
  static bool Run(WindowRef hOwner, const std::string& strFilter, const std::string& strTitle,
                  const std::string& strDefault, bool bSave, std::string* pstrPath) {
    SDialogCall call;
    call.hOwner = hOwner;
    call.pstrFilter = &strFilter;
    call.pstrTitle = &strTitle;
    call.pstrInitialFile = &strDefault;
    call.dwFlags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   (bSave ? OFN_OVERWRITEPROMPT : (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST));
    call.bSave = bSave;
    return RunDialog(call, pstrPath);
  }
  IUiPort& m_messageBoxes;
};

}  // namespace

IFileDialogPort& GetWin32FileDialogPort() {
  static CWinFileDialogPort s_port;
  return s_port;
}

SPlatform& GetWin32PlatformWithDialogs() {
  static CWinDialogUi s_ui(*GetWin32Platform().pUi);
  static SPlatform s_platform = [] {
    SPlatform platform = GetWin32Platform();
    platform.pUi = &s_ui;
    return platform;
  }();
  return s_platform;
}
