// Tessaro's windows on a stand-in board, for the window tests: the same
// start-up, main window and dialogs as Tessaro.exe, with an engine that
// reports fixed facts and works on files instead of a flash part.
// TESSARO_GUIHOST_BOARD picks the board: "award" (default), "award-locked"
// (no flashing from Windows), "ami" or "none". TESSARO_GUIHOST_DIALOG=timeout
// shows only the Live Update time-out dialog and exits with its result.
// TESSARO_GUIHOST_HOLD names an event: an update then stops half-way until
// the event is set, so that a test sees the window in the middle of the
// work at a known point instead of racing it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/win/FileDialog_win.h"
#include "platform/win/Platform_win.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/app/TessaroApp.h"
#include "tessaro/shell/TessaroShell_win.h"
#include "tessaro/shell/TimeoutDlg_win.h"

namespace {

constexpr char kBinFilter[] = "Binary Files (*.BIN)|*.BIN|All Files (*.*)|*.*||";

std::string Board() {
  const char* psz = std::getenv("TESSARO_GUIHOST_BOARD");
  return psz ? psz : "award";
}

class CStandInProbe : public IFamilyProbe {
 public:
  bool DetectAmiBios() override { return Board() == "ami"; }
  void OpenAmiAccess() override {}
  bool IsAmiIdentityKnown() const override { return true; }
  bool IsAmiDriverReady() const override { return true; }
  void CloseAmiAccess() override {}
  bool OpenAward() override { return true; }
  bool IsAwardBios() const override { return Board() == "award" || Board() == "award-locked"; }
  bool AwardAllowsWindowsFlash() const override { return Board() == "award"; }
};

// Half-way through an update, waits for the test named by
// TESSARO_GUIHOST_HOLD to set its event (at most 30 s, so that a test that
// went away never leaves the host hanging). Without the variable, the
// update goes straight on.
void HoldForTheTest() {
  const char* pszEvent = std::getenv("TESSARO_GUIHOST_HOLD");
  if (!pszEvent || !*pszEvent) return;
  HANDLE hEvent = OpenEventA(SYNCHRONIZE, FALSE, pszEvent);
  if (!hEvent) return;
  WaitForSingleObject(hEvent, 30000);
  CloseHandle(hEvent);
}

// The image the stand-in "flash" holds: 128 KB of a counting pattern.
std::vector<char> FlashImage() {
  std::vector<char> image(128 * 1024);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + (i >> 8));
  return image;
}

class CStandInEngine : public IBiosEngine {
 public:
  explicit CStandInEngine(SPlatform& platform) : m_platform(platform) {}
  EBiosFamily Family() const override {
    return Board() == "ami" ? EBiosFamily::Ami : EBiosFamily::Award;
  }
  std::string VersionText() const override {
    return Family() == EBiosFamily::Ami ? "08.00.15" : "6A79AM4C-00";
  }
  std::string PartNumberText() const override {
    return Family() == EBiosFamily::Ami ? "AMIBIOS-0815-01" : std::string();
  }
  std::string DateText() const override { return "10/20/2009"; }
  std::string FlashPartName() const override { return "SST 49LF004A/B"; }
  bool GetBiosId(std::string* pstrId) const override {
    *pstrId = "6A79AM4C";
    return true;
  }
  uint32_t Prepare(IDisplaySinks&) override { return 0; }
  bool ChooseOpenFile(WindowRef hOwner, std::string* pstrPath) override {
    return GetWin32FileDialogPort().ChooseOpenFile(hOwner, SFileDialogRequest::Open(kBinFilter),
                                                   pstrPath);
  }
  bool ChooseSaveFile(WindowRef hOwner, std::string* pstrPath) override {
    return GetWin32FileDialogPort().ChooseSaveFile(
        hOwner, SFileDialogRequest::Save(kBinFilter, "", "awdbios.bin"), pstrPath);
  }
  // Walks the progress sinks as a flash would, after the usual question,
  // holding half-way when a test asks for it.
  uint32_t Update(const std::string&, FlashOptions*, const std::string&,
                  IDisplaySinks& sinks) override {
    if (MessageBoxA(GetActiveWindow(), "Proceed to Flash your BIOS?", "Tessaro (Update Bios)",
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
      return 0;
    sinks.SetProgressRange(0, 100);
    for (int nPercent = 0; nPercent <= 100; nPercent += 2) {
      sinks.SetStatusText(nPercent < 50 ? "Erasing..." : "Programming...");
      sinks.SetProgressPos(nPercent);
      char sz[16];
      std::snprintf(sz, sizeof(sz), "%d%%", nPercent);
      sinks.SetPercentText(sz);
      if (nPercent == 50) HoldForTheTest();
    }
    sinks.SetStatusText("BIOS Flash Success!");
    return 0;
  }
  uint32_t Save(const std::string& strPath, bool, IDisplaySinks& sinks) override {
    const std::vector<char> image = FlashImage();
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (!pFile) return 756;
    std::fwrite(image.data(), 1, image.size(), pFile);
    std::fclose(pFile);
    sinks.SetProgressRange(0, 128);
    sinks.SetProgressPos(128);
    sinks.SetPercentText("100%");
    sinks.SetStatusText("BIOS Save Success!");
    return 0;
  }
  bool SumImageFile(const std::string&, IDisplaySinks&, uint16_t*) override { return false; }

 private:
  SPlatform& m_platform;
};

class CStandInBoard : public CNoBoardInfo {
 public:
  std::string IdentifyBoard() override { return "8089"; }
};

CResources g_Resources(*GetWin32Platform().pModules);
CStandInProbe g_FamilyProbe;
CTessaroApp g_App(GetWin32Platform(), g_Resources, g_FamilyProbe);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
  const char* pszDialog = std::getenv("TESSARO_GUIHOST_DIALOG");
  if (pszDialog && std::string(pszDialog) == "timeout") {
    CTimeoutDlg dialog(nullptr);
    dialog.DoModal();
    return dialog.GetResult();
  }
  CStandInEngine engine(GetWin32Platform());
  CStandInBoard board;
  return RunTessaro(GetWin32Platform(), g_App, engine, board, lpCmdLine);
}
