// The XML contract on the native build's pugixml document.
#include "tests/trivelole/XmlDocumentContract.h"
#include "trivelole/XmlDocument_pugi.h"

INSTANTIATE_TEST_SUITE_P(Pugixml, XmlDocumentContract, ::testing::Values(&CreatePugiXmlDocument));
