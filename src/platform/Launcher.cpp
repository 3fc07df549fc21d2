#include "platform/Launcher.h"
