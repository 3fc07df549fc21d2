#include "platform/ClipboardFiles.h"
