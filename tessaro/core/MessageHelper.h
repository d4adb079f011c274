// Every message box of the program: string-table texts and captions, an
// owner window, and the icon of the kind of message.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Ports.h"
#include "tessaro/core/Resources.h"

// Caption ids.
constexpr uint32_t kCaptionTessaro = 610;
constexpr uint32_t kCaptionLiveUpdate = 611;
constexpr uint32_t kCaptionDownload = 612;
constexpr uint32_t kCaptionUpdateBios = 613;
constexpr uint32_t kCaptionSaveBios = 614;

class CMessageHelper {
 public:
  CMessageHelper(const CResources& resources, IUiPort& ui) : m_resources(resources), m_ui(ui) {}

  void SetOwner(WindowRef hOwner) { m_hOwner = hOwner; }
  WindowRef GetOwner() const { return m_hOwner; }

  // Text and caption by id; caption id 0 is an empty caption, an unknown
  // id an empty text.
  int ShowInfo(uint32_t nTextId, uint32_t nCaptionId = kCaptionTessaro);
  int ShowError(uint32_t nTextId, uint32_t nCaptionId = kCaptionTessaro);
  // Adds the question icon to the caller's buttons; returns the pressed
  // button (Yes 6, No 7, OK 1, Cancel 2).
  int Ask(uint32_t nTextId, uint32_t nCaptionId, uint32_t dwButtons);

  // The same with a ready (for example formatted) text.
  int ShowInfo(const std::string& strText, uint32_t nCaptionId = kCaptionTessaro);
  int ShowError(const std::string& strText, uint32_t nCaptionId = kCaptionTessaro);
  int Ask(const std::string& strText, uint32_t nCaptionId, uint32_t dwButtons);

  // The text of an id as the boxes show it.
  std::string Text(uint32_t nId) const;

 private:
  int Show(const std::string& strText, uint32_t nCaptionId, uint32_t dwFlags);

  const CResources& m_resources;
  IUiPort& m_ui;
  WindowRef m_hOwner = 0;
};

// "%s" in a string-table text replaced by the arguments in order, "%%" by
// "%". Texts come from satellite libraries, so they never reach printf.
std::string FormatText(const std::string& strFormat, const std::string& strArg1 = "",
                       const std::string& strArg2 = "");
