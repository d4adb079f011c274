#include "tessaro/core/MessageHelper.h"

#include "platform/WinTypes.h"

std::string CMessageHelper::Text(uint32_t nId) const {
  return nId == 0 ? std::string() : m_resources.GetString(nId);
}

int CMessageHelper::Show(const std::string& strText, uint32_t nCaptionId, uint32_t dwFlags) {
  return m_ui.ShowMessageBox(m_hOwner, strText, Text(nCaptionId), dwFlags);
}

int CMessageHelper::ShowInfo(uint32_t nTextId, uint32_t nCaptionId) {
  return Show(Text(nTextId), nCaptionId, kMbOk | kMbIconInformation);
}

int CMessageHelper::ShowError(uint32_t nTextId, uint32_t nCaptionId) {
  return Show(Text(nTextId), nCaptionId, kMbOk | kMbIconError);
}

int CMessageHelper::Ask(uint32_t nTextId, uint32_t nCaptionId, uint32_t dwButtons) {
  return Show(Text(nTextId), nCaptionId, dwButtons | kMbIconQuestion);
}

int CMessageHelper::ShowInfo(const std::string& strText, uint32_t nCaptionId) {
  return Show(strText, nCaptionId, kMbOk | kMbIconInformation);
}

int CMessageHelper::ShowError(const std::string& strText, uint32_t nCaptionId) {
  return Show(strText, nCaptionId, kMbOk | kMbIconError);
}

int CMessageHelper::Ask(const std::string& strText, uint32_t nCaptionId, uint32_t dwButtons) {
  return Show(strText, nCaptionId, dwButtons | kMbIconQuestion);
}

std::string FormatText(const std::string& strFormat, const std::string& strArg1,
                       const std::string& strArg2) {
  const std::string* apArgs[] = {&strArg1, &strArg2};
  size_t nArg = 0;
  std::string strOut;
  for (size_t i = 0; i < strFormat.size(); ++i) {
    if (strFormat[i] == '%' && i + 1 < strFormat.size()) {
      if (strFormat[i + 1] == 's') {
        if (nArg < 2) strOut += *apArgs[nArg++];
        ++i;
        continue;
      }
      if (strFormat[i + 1] == '%') {
        strOut += '%';
        ++i;
        continue;
      }
    }
    strOut += strFormat[i];
  }
  return strOut;
}
