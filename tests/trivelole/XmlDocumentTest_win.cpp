// The XML contract on the Windows build's MSXML document, under Wine.
#include "tests/trivelole/XmlDocumentContract.h"
#include "trivelole/XmlDocument_win.h"

INSTANTIATE_TEST_SUITE_P(Msxml, XmlDocumentContract, ::testing::Values(&CreateMsxmlDocument));
