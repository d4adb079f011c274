// A board for tests of the real main window: it starts the test's scenario
// once the window exists (OnInitDialog asks the board for its identity on
// the window's thread, after the window handle is set).
#pragma once

#include <functional>
#include <string>

#include "tessaro/core/BiosEngine.h"

class CWindowReadyBoard : public CNoBoardInfo {
 public:
  std::function<void()> m_fnReady;
  std::string IdentifyBoard() override {
    if (m_fnReady) m_fnReady();
    return std::string();
  }
};
