#include "tessaro/app/MainPresenter.h"

#include "platform/WinTypes.h"
#include "tessaro/app/ControlIds.h"
#include "tessaro/core/Switches.h"
#include "tessaro/core/SystemInfo.h"

const char* const g_pszDownloadPage = "https://www.ulvo.com/support/tessaro/";

namespace {

// String ids of file names.
constexpr uint32_t kStrDownloadedBios = 601;
constexpr uint32_t kStrAutoSaveAward = 603;
constexpr uint32_t kStrAutoSaveAmi = 604;
constexpr uint32_t kStrInfoDownload = 605;
// Message ids.
constexpr uint32_t kMsgUnknownFlash = 795;
constexpr uint32_t kMsgAskBackup = 653;

// The operation buttons that a running workflow disables, Close included.
const int s_anOperationButtons[] = {IDC_ABOUT,       IDC_CLOSE,       IDC_SETTING,
                                    IDC_STEP_UPDATE, IDC_UPDATE_FILE, IDC_ONECLICK_UPDATE,
                                    IDC_SAVE_BIOS};

std::string Directory(int (*pfn)(ISystem&, char*, int), ISystem& system) {
  char sz[kDirectoryBufferSize];
  pfn(system, sz, sizeof(sz));
  return sz;
}

}  // namespace

std::string PrefixThroughLastDash(const std::string& strText) {
  const size_t nDash = strText.find_last_of('-');
  return nDash == std::string::npos ? std::string() : strText.substr(0, nDash + 1);
}

SVersionPieces SplitAwardVersion(const std::string& strVersion, const std::string& strBoardSid) {
  SVersionPieces pieces;
  pieces.strHead = PrefixThroughLastDash(strVersion);
  pieces.strTail = strVersion.substr(pieces.strHead.size());
  const std::string& strTail = pieces.strTail;
  if (strTail.size() >= 2 && strTail.compare(strTail.size() - 2, 2, "00") == 0)
    pieces.strBoard = strBoardSid;
  return pieces;
}

CMainPresenter::CMainPresenter(SPlatform& platform, const CResources& resources,
                               IBiosEngine& engine, IBoardInfo& board)
    : m_platform(platform),
      m_resources(resources),
      m_engine(engine),
      m_board(board),
      m_Msg(resources, *platform.pUi),
      m_LiveUpdate(*this) {}

void CMainPresenter::OnInitDialog(IMainView& view) {
  view.EnableControl(IDC_STOP, false);
  if (g_bTran) {
    view.ShowControl(IDC_ENCODE_INFO, true);
    view.ShowControl(IDC_DECODE_INFO, true);
  }
  m_Msg.SetOwner(view.Handle());
  LoadOptions(*m_platform.pRegistry, *m_platform.pSystem, &g_FlashOptions);

  ISystem& system = *m_platform.pSystem;
  m_strSystemDir = Directory(GetSystemDirectoryPath, system);
  m_strProgramDir = Directory(GetProgramDirectory, system);
  m_strTempDir = Directory(GetTempDirectory, system);
  m_strInfoDownloadPath = m_strTempDir + m_resources.GetString(kStrInfoDownload);
  m_restrictions = SUpdateRestrictions();
  m_strRebootMsg.clear();

  ShowFamilyFacts(view);

  m_strBoardSID = m_board.IdentifyBoard();
  if (m_engine.Family() == EBiosFamily::Award) {
    const SVersionPieces pieces = SplitAwardVersion(m_engine.VersionText(), m_strBoardSID);
    view.SetText(IDC_VERSION_3, pieces.strBoard);
  }
  m_board.ReadModelFlags(m_strBoardSID, &m_restrictions);
}

void CMainPresenter::ShowFamilyFacts(IMainView& view) {
  switch (m_engine.Family()) {
    case EBiosFamily::Ami: {
      view.SetText(IDC_WEBSITE, "Tessaro - AMI BIOS");
      view.SetText(IDC_VERSION_1, "");
      view.SetText(IDC_VERSION_2, m_engine.VersionText());
      view.SetText(IDC_VERSION_3, PrefixThroughLastDash(m_engine.PartNumberText()));
      view.SetText(IDC_BIOS_DATE, m_engine.DateText());
      if (!PrepareEngine(view)) return;
      m_strFlashName = m_engine.FlashPartName();
      view.SetText(IDC_FLASH_TYPE, m_strFlashName);
      break;
    }
    case EBiosFamily::Award: {
      view.SetText(IDC_WEBSITE, "Tessaro - Award BIOS");
      const SVersionPieces pieces = SplitAwardVersion(m_engine.VersionText(), std::string());
      view.SetText(IDC_VERSION_1, pieces.strHead);
      view.SetText(IDC_VERSION_2, pieces.strTail);
      view.SetText(IDC_BIOS_DATE, m_engine.DateText());
      m_strFlashName = m_engine.FlashPartName();
      view.SetText(IDC_FLASH_TYPE, m_strFlashName);
      break;
    }
    case EBiosFamily::None:
      view.SetText(IDC_WEBSITE, "Tessaro - NOT SUPPORTED BIOS");
      m_strFlashName = m_engine.FlashPartName();
      break;
  }
}

bool CMainPresenter::PrepareEngine(IMainView& view) {
  const uint32_t nMessage = m_engine.Prepare(view);
  if (nMessage == 0) return true;
  m_Msg.ShowError(nMessage);
  view.EndProgram(1);
  return false;
}

void CMainPresenter::EnableButtons(IMainView& view, bool bEnable) {
  for (int nId : s_anOperationButtons) view.EnableControl(nId, bEnable);
  // Stop acts on a Live Update download only. A workflow that a Live
  // Update hands over to (its backup and flash) clears the flag first, so
  // Stop goes off there too rather than stay enabled over Setting and
  // About with nothing to stop.
  view.EnableControl(IDC_STOP, m_LiveUpdate.IsRunning() && !bEnable);
  m_bButtonsEnabled = bEnable;
}

void CMainPresenter::SetStatus(IMainView& view, uint32_t nStringId) {
  view.SetStatusText(m_resources.GetString(nStringId));
  view.Repaint();
}

bool CMainPresenter::GetBiosId(std::string* pstrId) const { return m_engine.GetBiosId(pstrId); }

void CMainPresenter::UpdateBios(IMainView& view, bool bFromDownload) {
  m_LiveUpdate.SetRunning(false);
  EnableButtons(view, false);
  std::string strPath;
  if (m_strFlashName.compare(0, 7, "Unknown") == 0) {
    m_Msg.ShowError(kMsgUnknownFlash);
  } else if (bFromDownload || m_engine.ChooseOpenFile(view.Handle(), &strPath)) {
    if (bFromDownload) strPath = m_strProgramDir + m_resources.GetString(kStrDownloadedBios);
    if (!PrepareEngine(view)) return;
    view.Repaint();
    // Switched off for good in this run, but not in the registry.
    m_restrictions.ApplyTo(&g_FlashOptions);
    const uint32_t nMessage = m_engine.Update(strPath, &g_FlashOptions, m_strRebootMsg, view);
    if (nMessage) m_Msg.ShowError(nMessage);
  }
  EnableButtons(view, true);
}

void CMainPresenter::SaveBios(IMainView& view, bool bAutomatic) {
  m_LiveUpdate.SetRunning(false);
  EnableButtons(view, false);
  std::string strPath;
  bool bGo = true;
  if (bAutomatic) {
    const bool bAmi = m_engine.Family() == EBiosFamily::Ami;
    strPath = m_strProgramDir + m_resources.GetString(bAmi ? kStrAutoSaveAmi : kStrAutoSaveAward);
  } else {
    bGo = m_Msg.Ask(kMsgAskBackup, kCaptionTessaro, kMbYesNo) == kIdYes &&
          m_engine.ChooseSaveFile(view.Handle(), &strPath);
  }
  if (bGo) {
    if (!PrepareEngine(view)) return;
    view.Repaint();
    const uint32_t nMessage = m_engine.Save(strPath, bAutomatic, view);
    if (nMessage) m_Msg.ShowError(nMessage);
  }
  EnableButtons(view, true);
}

void CMainPresenter::OnSetting(IMainView& view) {
  const EBiosFamily eFamily = m_engine.Family();
  if (eFamily == EBiosFamily::Ami) {
    CAmiSettings settings;
    settings.LoadFrom(g_FlashOptions);
    settings.m_bNoClearCMOS = m_restrictions.bNoClearCMOS;
    settings.m_bNoLoadCMOSDefault = m_restrictions.bNoLoadCMOSDefault;
    view.RunAmiSettings(&settings);
    if (!settings.m_bAccepted) return;
    settings.StoreTo(&g_FlashOptions);
  } else if (eFamily == EBiosFamily::Award) {
    CAwardSettings settings;
    settings.m_bShowPartNumberBox = g_bPower;
    settings.LoadFrom(g_FlashOptions);
    settings.m_bNoClearCMOS = m_restrictions.bNoClearCMOS;
    settings.m_bNoLoadCMOSDefault = m_restrictions.bNoLoadCMOSDefault;
    view.RunAwardSettings(&settings);
    if (!settings.m_bAccepted) return;
    settings.StoreTo(&g_FlashOptions);
  } else {
    return;
  }
  SaveOptions(*m_platform.pRegistry, *m_platform.pSystem, g_FlashOptions);
}

void CMainPresenter::OnCommand(IMainView& view, int nId) {
  switch (nId) {
    case IDC_UPDATE_FILE:
      m_board.ReadUpdateFileFlags(&m_restrictions, &m_strRebootMsg);
      UpdateBios(view, false);
      break;
    case IDC_SAVE_BIOS:
      SaveBios(view, false);
      break;
    case IDC_ONECLICK_UPDATE:
      m_LiveUpdate.OnOneClick(view);
      break;
    case IDC_STEP_UPDATE:
      m_LiveUpdate.OnStepByStep(view);
      break;
    case IDC_STOP:
      m_LiveUpdate.OnStop(view);
      break;
    case IDC_SETTING:
      OnSetting(view);
      break;
    case IDC_ABOUT:
      view.ShowAbout();
      break;
    case IDC_CLOSE:
      if (CanClose()) view.CloseWindow();
      break;
    case IDC_WEBSITE:
      view.OpenAddress(g_pszDownloadPage);
      break;
    case IDC_ENCODE_INFO:
      m_board.EncodeInfoFile(view.Handle());
      break;
    case IDC_DECODE_INFO:
      m_board.DecodeInfoFile(view.Handle());
      break;
    default:
      break;
  }
}

void CMainPresenter::OnTimer(IMainView& view, int nTimerId) {
  m_LiveUpdate.OnTimer(view, nTimerId);
}
