#include "trivelole/InfoDocument.h"
