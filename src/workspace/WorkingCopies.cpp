#include "workspace/WorkingCopies.h"
