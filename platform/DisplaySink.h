// The three controls an operation reports its progress through: a progress
// bar, a status text and a percentage text. The main window hands its
// controls to each per-operation engine object; tests hand recorders.
#pragma once

#include <string>

class IProgressSink {
 public:
  virtual ~IProgressSink() = default;
  virtual void SetRange(int nLower, int nUpper) = 0;
  virtual void SetPos(int nPos) = 0;
};

class ITextSink {
 public:
  virtual ~ITextSink() = default;
  virtual void SetText(const std::string& strText) = 0;
};
