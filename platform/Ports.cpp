#include "platform/Ports.h"

bool ReadWholeFile(IFileSystem& fs, const std::string& strPath, size_t nMaxBytes,
                   std::vector<uint8_t>* pData) {
  std::unique_ptr<IFile> pFile = fs.Open(strPath, EFileMode::Read);
  if (!pFile) return false;
  uint64_t qwSize = 0;
  if (!pFile->GetSize(&qwSize) || qwSize > nMaxBytes) return false;
  pData->assign(static_cast<size_t>(qwSize), 0);
  size_t nDone = 0;
  while (nDone < pData->size()) {
    uint32_t nRead = 0;
    if (!pFile->Read(pData->data() + nDone, static_cast<uint32_t>(pData->size() - nDone), &nRead))
      return false;
    if (nRead == 0) break;
    nDone += nRead;
  }
  // A file that shrank while being read is a read error.
  return nDone == pData->size();
}

bool WriteWholeFile(IFileSystem& fs, const std::string& strPath, const void* pData, size_t nBytes) {
  std::unique_ptr<IFile> pFile = fs.Open(strPath, EFileMode::CreateAlways);
  if (!pFile) return false;
  return pFile->Write(pData, static_cast<uint32_t>(nBytes));
}
