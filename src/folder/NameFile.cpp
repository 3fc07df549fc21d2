#include "folder/NameFile.h"
