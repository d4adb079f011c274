#include "trivelole/TrivelPlugin.h"
