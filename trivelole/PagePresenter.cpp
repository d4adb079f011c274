#include "trivelole/PagePresenter.h"
