#include "platform/win/FileDialog_win.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

namespace {

class CWinFileDialogPort : public IFileDialogPort {
 public:
  bool ChooseOpenFile(WindowRef hOwner, const SFileDialogRequest& request,
                      std::string* pstrPath) override {
    return Run(hOwner, request, false, pstrPath);
  }
  bool ChooseSaveFile(WindowRef hOwner, const SFileDialogRequest& request,
                      std::string* pstrPath) override {
    return Run(hOwner, request, true, pstrPath);
  }

 private:
  static bool Run(WindowRef hOwner, const SFileDialogRequest& request, bool bSave,
                  std::string* pstrPath) {
    // The framework's "|" separators become the NULs the dialog expects.
    std::vector<char> filter(request.strFilter.begin(), request.strFilter.end());
    for (char& c : filter)
      if (c == '|') c = '\0';
    filter.push_back('\0');
    filter.push_back('\0');
    char szFile[MAX_PATH] = {0};
    strncpy(szFile, request.strInitialFile.c_str(), MAX_PATH - 1);
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof(ofn));
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = reinterpret_cast<HWND>(hOwner);
    ofn.lpstrFilter = filter.data();
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = request.strTitle.empty() ? nullptr : request.strTitle.c_str();
    ofn.lpstrDefExt = request.strDefaultExt.empty() ? nullptr : request.strDefaultExt.c_str();
    ofn.Flags = OFN_NOCHANGEDIR | (request.bHideReadOnly ? OFN_HIDEREADONLY : 0) |
                (request.bFileMustExist ? OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST : 0) |
                (request.bOverwritePrompt ? OFN_OVERWRITEPROMPT : 0);
    if (!(bSave ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn))) return false;
    *pstrPath = szFile;
    return true;
  }
};

}  // namespace

IFileDialogPort& GetWin32FileDialogPort() {
  static CWinFileDialogPort s_port;
  return s_port;
}
